// The window's file-open dialog: it has no window of its own until it runs.
// It keeps a filter in the "name|pattern|name|pattern" form, the 1-based
// index of the file type offered first, the folder it starts in and the path
// the user chose last.
#pragma once

#include <QString>
#include <QStringList>

#include <utility>

class QWidget;

namespace vxe {

class FileOpenDialog {
public:
    explicit FileOpenDialog(QString fileTypes) : filter(std::move(fileTypes)) {}

    QString filter;
    int filterIndex = 1;
    QString initialDir;
    QString fileName;

    // Runs the dialog modally over `owner`. True and `fileName` set when the
    // user chose a file; false, with nothing changed, when they cancelled.
    bool execute(QWidget* owner);

    // "BinaryFile|*.bin|All Files|*.*" -> {"BinaryFile (*.bin)", "All Files (*)"}.
    static QStringList nameFilters(const QString& filter);
};

}  // namespace vxe
