#ifdef _WIN32
#include "platform/windows_platform.h"

#include <windows.h>
#include <setupapi.h>

#include <array>
#include <cstring>
#include <string>

#include "platform/embedded_resources.h"
#include "platform/windows_pass_through.h"

namespace vxe {
namespace {

// {53F56307-B6BF-11D0-94F2-00A0C91EFB8B} and {53F56308-B6BF-11D0-94F2-00A0C91EFB8B}.
constexpr GUID kDiskInterface = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
constexpr GUID kCdRomInterface = {0x53F56308, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

constexpr DWORD kDetailBlockSize = 1024;

}  // namespace

PassThroughResult WindowsPlatform::passThrough(const PassThroughRequest& request) {
    return SendPassThroughDirect(request);
}

std::vector<std::string> WindowsPlatform::enumerateInterfaces(InterfaceClass cls) {
    std::vector<std::string> paths;
    const GUID& guid = cls == InterfaceClass::Disk ? kDiskInterface : kCdRomInterface;
    HDEVINFO set = SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return paths;

    alignas(8) std::array<BYTE, kDetailBlockSize> block{};
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(block.data());
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &guid, index, &data)) break;
        block.fill(0);
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (!SetupDiGetDeviceInterfaceDetailA(set, &data, detail, kDetailBlockSize, nullptr, nullptr)) break;
        // Device paths made by the USB mass-storage driver contain "usbsto".
        const size_t room = kDetailBlockSize - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
        const std::string path(detail->DevicePath, strnlen(detail->DevicePath, room));
        if (path.find("usbsto") != std::string::npos) paths.push_back(path);
    }
    SetupDiDestroyDeviceInfoList(set);
    return paths;
}

void WindowsPlatform::sleepMs(uint32_t milliseconds) { Sleep(milliseconds); }

std::span<const uint8_t> WindowsPlatform::findResource(std::string_view name, std::string_view type) {
    return FindBuiltInResource(name, type);
}

void WindowsPlatform::messageBox(std::string_view text, std::string_view caption, MessageIcon icon) {
    UINT flags = MB_OK;
    if (icon == MessageIcon::Error) flags |= MB_ICONERROR;
    if (icon == MessageIcon::Information) flags |= MB_ICONINFORMATION;
    if (icon == MessageIcon::Warning) flags |= MB_ICONWARNING;
    MessageBoxA(nullptr, std::string(text).c_str(), std::string(caption).c_str(), flags);
}

void WindowsPlatform::debugOutput(std::string_view text) { OutputDebugStringA(std::string(text).c_str()); }

}  // namespace vxe
#endif
