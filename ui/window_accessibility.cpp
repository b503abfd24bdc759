#include "ui/window_accessibility.h"

#include <QAccessibleWidget>
#include <QWidget>

#include "ui/fwupdate.h"

namespace vxe {
namespace {

class WindowAccessible final : public QAccessibleWidget {
public:
    explicit WindowAccessible(QWidget* window) : QAccessibleWidget(window, QAccessible::Window) {}

    int childCount() const override { return static_cast<int>(drawnChildren().size()); }
    QAccessibleInterface* child(int index) const override {
        const QList<QWidget*> children = drawnChildren();
        if (index < 0 || index >= children.size()) return nullptr;
        return QAccessible::queryAccessibleInterface(children.at(index));
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (child == nullptr) return -1;
        return static_cast<int>(drawnChildren().indexOf(qobject_cast<QWidget*>(child->object())));
    }

private:
    // The child controls the window draws: shown, and inside its client
    // area. What the window does not draw is left out of its tree.
    QList<QWidget*> drawnChildren() const {
        QList<QWidget*> drawn;
        const QRect client = widget()->rect();
        for (QObject* object : widget()->children()) {
            auto* control = qobject_cast<QWidget*>(object);
            if (control == nullptr || control->isWindow() || control->isHidden()) continue;
            if (!control->geometry().intersects(client)) continue;
            drawn.append(control);
        }
        return drawn;
    }
};

QAccessibleInterface* WindowInterface(const QString&, QObject* object) {
    auto* window = qobject_cast<TR84xFwTool*>(object);
    return window != nullptr ? new WindowAccessible(window) : nullptr;
}

}  // namespace

void InstallWindowAccessibility() {
    static const bool installed = (QAccessible::installFactory(WindowInterface), true);
    (void)installed;
}

}  // namespace vxe
