// The file type filter turned into the dialog's name filters.
#include <gtest/gtest.h>

#include "ui/file_open_dialog.h"

namespace vxe {
namespace {

TEST(FileOpenDialogFilters, NamesAndPatternsAlternateAndAllFilesMeansEveryName) {
    EXPECT_EQ(FileOpenDialog::nameFilters(QStringLiteral("BinaryFile|*.bin|All Files|*.*")),
              (QStringList{QStringLiteral("BinaryFile (*.bin)"), QStringLiteral("All Files (*)")}));
    EXPECT_EQ(FileOpenDialog::nameFilters(QStringLiteral("Images|*.png;*.jpg|Dangling")),
              (QStringList{QStringLiteral("Images (*.png *.jpg)")}));
}

}  // namespace
}  // namespace vxe
