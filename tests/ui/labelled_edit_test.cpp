// The caption of a labelled edit and how it follows its edit.
#include <QLabel>
#include <QPointer>

#include <gtest/gtest.h>

#include <memory>

#include "ui/labelled_edit.h"

namespace vxe {
namespace {

void ExpectCaptionBesideEdit(const LabelledEdit& edit) {
    const QLabel* label = edit.label();
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->x() + label->width(), edit.x() - LabelledEdit::kLabelGap);
    EXPECT_LE(std::abs(label->geometry().center().y() - edit.geometry().center().y()), 1);
    EXPECT_GE(label->width(), label->sizeHint().width());
}

class LabelledEditTest : public ::testing::Test {
protected:
    LabelledEditTest() {
        edit->setGeometry(80, 12, 129, 21);
        edit->setLabelText(QStringLiteral("Chip "));
    }

    QWidget parent;
    LabelledEdit* edit = new LabelledEdit(&parent);  // owned by parent
};

TEST_F(LabelledEditTest, CaptionFollowsTextFontShowHideEnableAndMoves) {
    EXPECT_EQ(edit->label()->parentWidget(), &parent);
    ExpectCaptionBesideEdit(*edit);
    edit->setLabelText(QStringLiteral("A much longer caption "));
    ExpectCaptionBesideEdit(*edit);
    QFont larger = parent.font();
    larger.setPixelSize(24);
    parent.setFont(larger);
    ExpectCaptionBesideEdit(*edit);

    edit->hide();
    EXPECT_TRUE(edit->label()->isHidden());
    edit->setGeometry(150, 60, 100, 30);  // moved while hidden: no move event yet
    edit->show();
    EXPECT_FALSE(edit->label()->isHidden());
    ExpectCaptionBesideEdit(*edit);
    parent.show();
    edit->setGeometry(120, 40, 60, 40);
    ExpectCaptionBesideEdit(*edit);

    edit->setEnabled(false);
    EXPECT_FALSE(edit->label()->isEnabled());
    edit->setEnabled(true);
    parent.setEnabled(false);  // a disabled parent disables both, and gives both back
    parent.setEnabled(true);
    EXPECT_TRUE(edit->label()->isEnabled());
}

TEST_F(LabelledEditTest, CaptionGoesWithItsEdit) {
    QPointer<QLabel> label = edit->label();
    QWidget other;
    edit->setParent(&other);
    EXPECT_EQ(label->parentWidget(), &other);
    ExpectCaptionBesideEdit(*edit);

    std::unique_ptr<LabelledEdit> owned(edit);
    owned.reset();
    EXPECT_TRUE(label.isNull());
}

}  // namespace
}  // namespace vxe
