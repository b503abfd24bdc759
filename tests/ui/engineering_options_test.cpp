// The engineering panel's choices: firmware and backup files, the exclusive
// erase-only and backup-only boxes with what they allow, and the two sizes
// as the procedures receive them.
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QTimer>
#include "tests/ui/key_input.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/wire_log.h"
#include "tests/ui/engineering_bench.h"

namespace vxe {
namespace {

using test::Rig;

bool Shown(const QWidget* w) { return !w->isHidden(); }

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A file whose tag names `tag` (the four characters after the marker).
std::vector<uint8_t> TaggedFile(const std::string& tag) {
    std::vector<uint8_t> bytes(8192, 0xFF);
    const uint8_t marker[] = {0x55, 0xAA, 0xAA, 0x55};
    std::copy(std::begin(marker), std::end(marker), bytes.begin());
    std::copy(tag.begin(), tag.end(), bytes.begin() + 4);
    return bytes;
}

// Answers the next modal file dialog once it runs.
void AnswerNextDialog(std::function<void(QFileDialog&)> answer) {
    QTimer::singleShot(0, [answer = std::move(answer)] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr) << "no file dialog is open";
        answer(*dialog);
    });
}

void Choose(const std::filesystem::path& path) {
    AnswerNextDialog([path](QFileDialog& d) {
        // The folder first, then the name in it, as a user picks a file: an
        // absolute name typed at once races the dialog's file system model.
        d.setDirectory(QString::fromStdString(path.parent_path().string()));
        // The dialog keeps a name box that has the focus as the user left
        // it (a window system may well give it the focus at once).
        if (QWidget* typing = QApplication::focusWidget()) typing->clearFocus();
        d.selectFile(QString::fromStdString(path.filename().string()));
        static_cast<QDialog&>(d).accept();  // as the Open button does
    });
}

// What the option boxes leave behind.
struct Options {
    bool eraseOnly;
    bool backupOnly;
    bool fileEnabled;
    bool runEnabled;
    bool sizeShown;
    bool operator==(const Options&) const = default;
};

void PrintTo(const Options& o, std::ostream* out) {
    *out << "{erase " << o.eraseOnly << ", backup " << o.backupOnly << ", file " << o.fileEnabled << ", run "
         << o.runEnabled << ", size " << o.sizeShown << "}";
}

Options OptionsOf(const TR84xFwTool& w) {
    EXPECT_EQ(w.EraseOnly, w.EraseOnlyCheck->isChecked() ? 1 : 0);
    // The size box and its label go together, and the box is usable whenever shown.
    EXPECT_EQ(Shown(w.FwSizeCheck), Shown(w.FwSizeLable));
    EXPECT_EQ(Shown(w.FwSizeCheck), w.FwSizeCheck->isEnabled());
    return {w.EraseOnlyCheck->isChecked(), w.BackupFWCheckBox->isChecked(), w.FwFilenameEdit->isEnabled(),
            w.UpdateBtn->isEnabled(), Shown(w.FwSizeCheck)};
}

class EngineeringOptions : public test::KeepsSizeSettings {
protected:
    test::InTemporaryFolder folder;
};

TEST_F(EngineeringOptions, TheBoxesExcludeEachOtherAndDecideWhatRunNeeds) {
    Rig rig(4);
    TR84xFwTool& w = rig.window;
    const std::string fitting = "849" + std::string(1, static_cast<char>('0' + w.ChipRevision() - 1));
    WriteFile(folder.path() / "fits.bin", TaggedFile(fitting));
    WriteFile(folder.path() / "other.bin", TaggedFile("8450"));

    struct Step {
        const char* what;
        std::function<void()> act;
        Options expected;
    };
    const std::vector<Step> steps = {
        {"erase only", [&] { w.EraseOnlyCheck->click(); }, {true, false, false, true, true}},
        {"backup only unchecks erase only", [&] { w.BackupFWCheckBox->click(); }, {false, true, true, true, true}},
        {"erase only unchecks backup only", [&] { w.EraseOnlyCheck->click(); }, {true, false, false, true, true}},
        {"neither, no file", [&] { w.EraseOnlyCheck->click(); }, {false, false, true, false, false}},
        {"a file that does not fit",
         [&] { w.FwFilenameEdit->setText(QString::fromStdString((folder.path() / "other.bin").string())); },
         {false, false, true, false, false}},
        {"backup only needs no fitting file", [&] { w.BackupFWCheckBox->click(); }, {false, true, true, true, true}},
        {"neither again", [&] { w.BackupFWCheckBox->click(); }, {false, false, true, false, false}},
        {"erase only needs no fitting file", [&] { w.EraseOnlyCheck->click(); }, {true, false, false, true, true}},
        {"a fitting file",
         [&] { w.FwFilenameEdit->setText(QString::fromStdString((folder.path() / "fits.bin").string())); },
         {true, false, false, true, true}},
        {"neither, the file fits", [&] { w.EraseOnlyCheck->click(); }, {false, false, true, true, false}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        EXPECT_EQ(OptionsOf(w), step.expected);
    }
}

TEST_F(EngineeringOptions, OnlyFamilyFourOffersTheSizeAndOnlyFamilySixTheNvram) {
    for (int family : {1, 3, 6, 7, 2}) {
        SCOPED_TRACE(family);
        Rig rig(family);
        rig.window.EraseOnlyCheck->click();
        EXPECT_FALSE(Shown(rig.window.FwSizeCheck));
        rig.window.BackupFWCheckBox->click();
        EXPECT_FALSE(Shown(rig.window.FwSizeCheck));
    }

    Rig rig(6);
    TR84xFwTool& w = rig.window;
    w.NVRAMCheck->hide();
    w.BackupFWCheckBox->click();
    EXPECT_FALSE(Shown(w.NVRAMCheck)) << "the backup box alone does not offer it";
    w.EraseOnlyCheck->click();
    EXPECT_TRUE(Shown(w.NVRAMCheck));

    // Backup only unchecks erase only, whose own click then runs first and
    // offers the NVRAM box once more; the outer run ends with backup only.
    w.NVRAMCheck->hide();
    w.BackupFWCheckBox->click();
    EXPECT_TRUE(Shown(w.NVRAMCheck));
    EXPECT_EQ(OptionsOf(w), (Options{false, true, true, true, false}));
}

TEST_F(EngineeringOptions, WithoutAKnownDeviceOnlyBackupOnlyEnablesRun) {
    Rig rig(sim::Vxe720Enclosure());
    TR84xFwTool& w = rig.window;
    for (const char* situation : {"unknown chip", "no device"}) {
        SCOPED_TRACE(situation);
        if (std::string(situation) == "unknown chip") w.ChipId = 0;
        else w.DeviceCount = 0;
        w.EraseOnlyCheck->click();
        EXPECT_FALSE(w.UpdateBtn->isEnabled());
        w.BackupFWCheckBox->click();
        EXPECT_TRUE(w.UpdateBtn->isEnabled());
        w.BackupFWCheckBox->click();
        EXPECT_FALSE(w.UpdateBtn->isEnabled());
    }
    // Run, so enabled, still starts nothing without a device.
    w.BackupFWCheckBox->click();
    w.UpdateBtn->click();
    EXPECT_TRUE(rig.bridge.log().empty());
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "oldflash.bak"));
}

TEST_F(EngineeringOptions, TheSizeChoicesReachTheProcedures) {
    Rig rig(4);
    TR84xFwTool& w = rig.window;
    const auto old = test::TestImage(65536);
    rig.bridge.setFlash(0, old);
    w.RdCheckBox->setChecked(true);
    w.BackupFWCheckBox->click();
    const auto backupSize = [&] {
        std::filesystem::remove(folder.path() / "oldflash.bak");
        w.UpdateBtn->click();
        return std::filesystem::file_size(folder.path() / "oldflash.bak");
    };

    // Until the user picks a size, the box shows 32 KB and 64 KB are used.
    EXPECT_EQ(w.FwSizeCheck->currentText(), "32KB");
    EXPECT_EQ(FirmwareSize, 65536);
    EXPECT_EQ(backupSize(), 65536u);

    test::KeyClick(w.FwSizeCheck, Qt::Key_Down);
    test::KeyClick(w.FwSizeCheck, Qt::Key_Down);
    EXPECT_EQ(w.FwSizeCheck->currentText(), "128KB");
    EXPECT_EQ(FirmwareSize, 131072);
    test::KeyClick(w.FwSizeCheck, Qt::Key_Up);
    test::KeyClick(w.FwSizeCheck, Qt::Key_Up);
    EXPECT_EQ(FirmwareSize, 32768);
    EXPECT_EQ(backupSize(), 32768u);

    // The transfer size is the programming page of the update.
    for (int i = 0; i < 3; ++i) test::KeyClick(w.FwPgSizeCheck, Qt::Key_Down);
    EXPECT_EQ(w.FwPgSizeCheck->currentText(), " 2 KB");
    EXPECT_EQ(TransferPageSize, 2048);
    w.BackupFWCheckBox->click();
    rig.setFirmware(test::TestImage(8192));
    rig.bridge.clearLog();
    test::PressRun(w);
    EXPECT_EQ(test::Addresses(test::FlashPrograms(rig.bridge)), (std::vector<uint32_t>{0, 2048, 4096, 6144}));
    for (const auto& program : test::FlashPrograms(rig.bridge)) EXPECT_EQ(program.length, 2048u);
}

TEST_F(EngineeringOptions, LoadFileStartsBesideTheProgramAndCancellingChangesNothingElse) {
    Rig rig(4);
    TR84xFwTool& w = rig.window;
    w.StatusEdit->setText(QStringLiteral("RT71849 status"));
    QString startedIn;
    QStringList filters;
    QString firstFilter;
    AnswerNextDialog([&](QFileDialog& d) {
        startedIn = d.directory().absolutePath();
        filters = d.nameFilters();
        firstFilter = d.selectedNameFilter();
        d.reject();
    });
    w.LoadBtn->click();

    const QString program = QDir::toNativeSeparators(QCoreApplication::applicationDirPath()) + QDir::separator();
    EXPECT_EQ(w.OpenDialog1.initialDir, program);
    EXPECT_EQ(QDir::toNativeSeparators(startedIn) + QDir::separator(), program);
    EXPECT_EQ(filters, (QStringList{QStringLiteral("BinaryFile (*.bin)"), QStringLiteral("All Files (*)")}));
    EXPECT_EQ(firstFilter, filters.value(0));
    EXPECT_EQ(w.StatusEdit->text(), "");
    EXPECT_EQ(w.FwFilenameEdit->text(), "");
    EXPECT_FALSE(w.UpdateBtn->isEnabled());
    EXPECT_TRUE(rig.bridge.log().empty());
}

TEST_F(EngineeringOptions, ALoadedFileIsCheckedAndRunIsOfferedAnyway) {
    Rig rig(4);
    TR84xFwTool& w = rig.window;
    const auto file = folder.path() / "other.bin";
    WriteFile(file, TaggedFile("8450"));
    const QString chosenFolder = QString::fromStdString(folder.path().string());
    w.OpenDialog1.initialDir = chosenFolder;
    Choose(file);
    w.LoadBtn->click();

    EXPECT_EQ(w.OpenDialog1.initialDir, chosenFolder) << "a start folder once set stays";
    EXPECT_EQ(w.FwFilenameEdit->text().toStdString(), file.string());
    ASSERT_EQ(rig.machine.platform.messages().size(), 1u);
    EXPECT_EQ(rig.machine.platform.messages()[0].text, "The firmware file seems not match this chip!");
    EXPECT_TRUE(w.UpdateBtn->isEnabled());
    EXPECT_FALSE(rig.bridge.log().empty()) << "the new name read the device again";
}

TEST_F(EngineeringOptions, BrowseNamesTheBackupFileAndOffersRun) {
    Rig rig(2);
    TR84xFwTool& w = rig.window;
    const auto target = folder.path() / "keep.bak";  // need not exist yet
    Choose(target);
    w.BackupBtn->click();
    EXPECT_EQ(w.BackupFileEdit->text().toStdString(), target.string());
    EXPECT_EQ(w.FwFilenameEdit->text(), "");
    EXPECT_TRUE(w.UpdateBtn->isEnabled());
    EXPECT_TRUE(rig.bridge.log().empty());

    // Cancelled, the name stays.
    AnswerNextDialog([](QFileDialog& d) { d.reject(); });
    w.BackupBtn->click();
    EXPECT_EQ(w.BackupFileEdit->text().toStdString(), target.string());
}

}  // namespace
}  // namespace vxe
