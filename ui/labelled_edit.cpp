#include "ui/labelled_edit.h"

#include <QEvent>
#include <QLabel>

#include <functional>
#include <utility>

namespace vxe {

namespace {

// A label that says when its font has changed, once its size hint has
// taken the new font in.
class Caption : public QLabel {
public:
    Caption(QWidget* parent, std::function<void()> fontChanged)
        : QLabel(parent), fontChanged_(std::move(fontChanged)) {}

protected:
    void changeEvent(QEvent* event) override {
        QLabel::changeEvent(event);
        if (event->type() == QEvent::FontChange) fontChanged_();
    }

private:
    std::function<void()> fontChanged_;
};

}  // namespace

LabelledEdit::LabelledEdit(QWidget* parent)
    : QLineEdit(parent), label_(new Caption(parent, [this] { placeLabel(); })) {
    label_->setObjectName(QStringLiteral("label"));
    placeLabel();
}

LabelledEdit::~LabelledEdit() {
    // The label belongs to the parent; without this it would outlive the
    // edit when the edit alone is destroyed. The guard covers the parent
    // having destroyed it first.
    delete label_.data();
}

QString LabelledEdit::labelText() const { return label_ ? label_->text() : QString(); }

void LabelledEdit::setLabelText(const QString& text) {
    if (!label_) return;
    label_->setText(text);
    placeLabel();
}

void LabelledEdit::setVisible(bool visible) {
    // Placed before showing: a hidden edit receives no move or resize events.
    placeLabel();
    QLineEdit::setVisible(visible);
    // Without a parent the label would become a window of its own.
    if (label_ && label_->parentWidget()) label_->setVisible(visible);
}

void LabelledEdit::moveEvent(QMoveEvent* event) {
    QLineEdit::moveEvent(event);
    placeLabel();
}

void LabelledEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    placeLabel();
}

void LabelledEdit::changeEvent(QEvent* event) {
    QLineEdit::changeEvent(event);
    if (!label_) return;
    switch (event->type()) {
    case QEvent::EnabledChange:
        // The edit's own flag, not the effective state: a disabled parent
        // disables the label by itself.
        label_->setEnabled(!testAttribute(Qt::WA_ForceDisabled));
        break;
    case QEvent::ParentChange:
        label_->setParent(parentWidget());
        if (parentWidget()) label_->setVisible(!isHidden());
        placeLabel();
        break;
    default:
        break;
    }
}

void LabelledEdit::placeLabel() {
    if (!label_) return;
    const QSize size = label_->sizeHint();
    const QRect edit = geometry();
    label_->setGeometry(edit.x() - kLabelGap - size.width(), edit.y() + (edit.height() - size.height()) / 2,
                        size.width(), size.height());
}

}  // namespace vxe
