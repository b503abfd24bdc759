// A single-line edit with its caption in a label to its left. The label is a
// sibling in the same parent, so it lies outside the edit; it keeps its right
// edge 3 px left of the edit, stays vertically centred on it and follows the
// edit when the edit is shown, hidden, enabled, disabled, moved or resized.
#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QString>

class QLabel;

namespace vxe {

class LabelledEdit : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(QString labelText READ labelText WRITE setLabelText)

public:
    static constexpr int kLabelGap = 3;

    explicit LabelledEdit(QWidget* parent = nullptr);
    ~LabelledEdit() override;

    QLabel* label() const { return label_; }
    QString labelText() const;
    void setLabelText(const QString& text);

    void setVisible(bool visible) override;

protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void placeLabel();

    QPointer<QLabel> label_;
};

}  // namespace vxe
