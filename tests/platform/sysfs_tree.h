// A small sysfs laid out the way the kernel lays it out, built in a
// temporary folder for the sysfs walks to run over.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace vxe::test {

namespace fs = std::filesystem;

// A small sysfs laid out the way the kernel lays it out: class links into
// the device tree, a driver link on every bound device (including the SCSI
// device itself, bound to sd or sr), hosts and targets without one.
class SysfsTree {
public:
    SysfsTree() {
        std::string pattern = (fs::path(testing::TempDir()) / "sysfs-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        xhci_ = root_ / "devices/pci0000:00/0000:00:14.0";
        for (const char* driver : {"usb/drivers/usb-storage", "usb/drivers/uas", "usb/drivers/usb",
                                   "pci/drivers/xhci_hcd", "pci/drivers/ahci", "virtio/drivers/virtio_scsi",
                                   "scsi/drivers/sd", "scsi/drivers/sr"}) {
            fs::create_directories(root_ / "bus" / driver);
        }
        fs::create_directories(root_ / "class" / "scsi_generic");
        fs::create_directories(xhci_);
        bind(xhci_, "pci/drivers/xhci_hcd");
        bind(xhci_ / "usb1", "usb/drivers/usb");
    }
    ~SysfsTree() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    const fs::path& root() const { return root_; }

    // A USB device on port `port` of the root hub with interface 1.0, bound
    // to `driver` (empty: left unbound).
    fs::path usbInterface(const std::string& port, const std::string& driver) {
        fs::path device = xhci_ / "usb1" / port;
        fs::path interface = device / (port + ":1.0");
        fs::create_directories(interface);
        bind(device, "usb/drivers/usb");
        if (!driver.empty()) bind(interface, "usb/drivers/" + driver);
        return interface;
    }

    fs::path sataPort(const std::string& name) {
        fs::path ata = root_ / "devices/pci0000:00/0000:00:1f.2" / name;
        fs::create_directories(ata);
        bind(ata.parent_path(), "pci/drivers/ahci");
        return ata;
    }

    fs::path virtioDevice(const std::string& name) {
        fs::path virtio = root_ / "devices/pci0000:00/0000:00:04.0" / name;
        fs::create_directories(virtio);
        bind(virtio, "virtio/drivers/virtio_scsi");
        return virtio;
    }

    // A SCSI device with its sg node under `parent`; `type` empty leaves the
    // attribute out.
    fs::path scsiDevice(const fs::path& parent, int host, int sg, const std::string& type,
                        const std::string& state = "running\n") {
        const std::string hctl = std::to_string(host) + ":0:0:0";
        fs::path device = parent / ("host" + std::to_string(host)) / ("target" + std::to_string(host) + ":0:0") / hctl;
        fs::path sgDir = device / "scsi_generic" / ("sg" + std::to_string(sg));
        fs::create_directories(sgDir);
        if (!type.empty()) write(device / "type", type);
        if (!state.empty()) write(device / "state", state);
        bind(device, type == "5\n" ? "scsi/drivers/sr" : "scsi/drivers/sd");
        link(sgDir / "device", device);
        link(root_ / "class/scsi_generic" / sgDir.filename(), sgDir);
        return device;
    }

    // The disk (or CD-ROM) the upper driver made of `scsiDevice`, with the
    // queue's two size bounds in KiB; an empty value leaves the file out.
    fs::path blockDevice(const fs::path& scsiDevice, const std::string& name, const std::string& maxHwSectorsKb,
                         const std::string& maxSectorsKb) {
        fs::path queue = scsiDevice / "block" / name / "queue";
        fs::create_directories(queue);
        if (!maxHwSectorsKb.empty()) write(queue / "max_hw_sectors_kb", maxHwSectorsKb);
        if (!maxSectorsKb.empty()) write(queue / "max_sectors_kb", maxSectorsKb);
        return queue;
    }

    void write(const fs::path& file, const std::string& text) { std::ofstream(file) << text; }

    void link(const fs::path& at, const fs::path& target) {
        fs::create_directory_symlink(fs::relative(target, at.parent_path()), at);
    }

private:
    void bind(const fs::path& device, const std::string& driver) {
        fs::create_directories(device);
        if (!fs::exists(device / "driver")) link(device / "driver", root_ / "bus" / driver);
    }

    fs::path root_;
    fs::path xhci_;
};

}  // namespace vxe::test
