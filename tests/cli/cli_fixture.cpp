#include "tests/cli/cli_fixture.h"

#include <cstdlib>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif
#include <fstream>
#include <iterator>
#include <sstream>

#include "cli/cli.h"
#include "platform/embedded_resources.h"
#include "sim/bus.h"

namespace vxe::test {

namespace fs = std::filesystem;

namespace {

long ProcessId() {
#ifdef _WIN32
    return _getpid();
#else
    return ::getpid();
#endif
}

}  // namespace

void CliTest::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    // A folder of this process's own: two suites may run on one machine at once.
    dir = fs::path(::testing::TempDir()) / ("cli_test-" + std::to_string(ProcessId())) /
          (std::string(info->test_suite_name()) + "." + info->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    // Where YES keeps old headers (on Windows the state folder is under
    // LOCALAPPDATA).
#ifdef _WIN32
    _putenv_s("LOCALAPPDATA", (dir / "state").string().c_str());
#else
    setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
#endif
}

void CliTest::TearDown() {
    fs::remove_all(dir);
    std::error_code ec;
    fs::remove(dir.parent_path(), ec);  // once the process's last test is done
}

void CliTest::device(const std::string& name, const std::string& text) { std::ofstream(dir / name) << text; }

void CliTest::writeFlash(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                      static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> CliTest::readFlash(const std::string& name) const { return ReadFile(dir / name); }

CliResult CliTest::runOnBus(std::vector<std::string> args, const std::string& input, bool terminal) {
    args.push_back("--bus");
    args.push_back(dir.string());
    return run(std::move(args), input, terminal);
}

CliResult CliTest::run(std::vector<std::string> args, const std::string& input, bool terminal) {
    std::istringstream in(input);
    return run(std::move(args), in, terminal);
}

CliResult CliTest::run(std::vector<std::string> args, std::istream& input, bool terminal) {
    CliResult result;
    std::ostringstream out, err;
    CliTerminal term;
    term.input = &input;
    term.outputIsTerminal = terminal;
    term.inspectBus = [&](sim::Bus& bus) {
        result.commandRan = true;
        for (const sim::BusDevice& d : bus.devices()) {
            result.logs[d.path] = d.bridge->log();
            result.counters[d.path] = d.bridge->counters();
        }
    };
    result.status = RunCli(std::move(args), out, err, term);
    result.out = out.str();
    result.err = err.str();
    return result;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<uint8_t> ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string EngineImagePath(const std::string& file) {
    return (fs::path(VXE_SOURCE_DIR) / "tests" / "engine-images" / file).string();
}

std::vector<uint8_t> EngineImage(const std::string& file) { return ReadFile(EngineImagePath(file)); }

void CliTest::useEngineImages() {
    for (const char* name : {"FW849", "FW652A", "FW652B"}) {
        if (!BuiltInImage(name)) busImage(name, EngineImage(std::string(name) + ".bin"));
    }
}

void CliTest::busImage(const std::string& name, const std::vector<uint8_t>& bytes) {
    fs::create_directories(dir / "images");
    writeFlash("images/" + name + ".bin", bytes);
}

bool BuiltInImage(const std::string& name) { return !FindBuiltInResource(name, "FW").empty(); }

std::vector<uint8_t> FactoryFlash() {
    std::vector<uint8_t> flash(0x10000);
    for (size_t i = 0; i < flash.size(); ++i) flash[i] = static_cast<uint8_t>(i * 7 + 3);
    flash[0x7E] = 'C';
    flash[0x7F] = 'V';
    return flash;
}

size_t WritesIn(const std::vector<sim::LogEntry>& log) {
    size_t writes = 0;
    for (const sim::LogEntry& e : log) {
        const auto& cdb = e.command.cdb;
        const bool serialWrite = cdb[0] == 0xDF && cdb[11] == 0xFB;
        const bool flashGroup = cdb[0] == 0xFF && cdb[1] == 0x04;
        const bool flashChange = flashGroup && (cdb[2] == 0x01 || cdb[2] == 0x02 || cdb[2] == 0x04 ||
                                                cdb[2] == 0x11 || cdb[2] == 0x13 || cdb[2] == 0x14);
        if (serialWrite || flashChange) ++writes;
    }
    return writes;
}

}  // namespace vxe::test
