// The typing box and the sheet: typed, committed and deleted characters turn
// their cells white and black, and the box never holds more than 100 units.
#include "form_fixture.h"

#include <QClipboard>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextLayout>

namespace uitest {
namespace {

int DarkPixels(const QImage &image, const QRect &rect) {
    int dark = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                ++dark;
    return dark;
}

class TypingTest : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        Start();
    }
    int Units() const { return static_cast<int>(form_->Text1->toPlainText().size()); }
    // A character that is not on the sheet.
    QString OffSheet() const {
        for (char16_t c = u'丁';; ++c)
            if (temp::State.SheetText.find(c) == std::u16string::npos)
                return QString(QChar(c));
    }
    void Paste(const QString &text) {
        QApplication::clipboard()->setText(text);
        form_->Text1->paste();
    }
    bool Drop(const QString &text) {
        QWidget *target = form_->Text1->viewport();
        QMimeData mime;
        mime.setText(text);
        const QPoint at(10, 10);
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(target, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(target, &drop);
        return true;
    }
};

TEST_F(TypingTest, TypedCommittedAndDeletedCharactersRecolourTheirCells) {
    QSignalSpy changes(form_->Text1, &qelvara::TypingBox::contentChanged);

    TypeKey(SheetChar(7));
    EXPECT_EQ(Colour(7), QColor(Qt::white));
    TypeKey(OffSheet());
    Commit(SheetChar(21) + SheetChar(100) + SheetChar(20));
    for (int k : {21, 100, 20})
        EXPECT_EQ(Colour(k), QColor(Qt::white)) << k;
    EXPECT_EQ(changes.count(), 3);

    // Composition alone changes neither the content nor any cell.
    Preedit(SheetChar(50));
    Preedit(SheetChar(50) + SheetChar(51));
    Preedit(QString());
    EXPECT_EQ(changes.count(), 3);
    EXPECT_EQ(Colour(50), QColor(Qt::black));
    EXPECT_EQ(Colour(51), QColor(Qt::black));

    QTest::keyClick(form_->Text1, Qt::Key_Backspace);
    EXPECT_EQ(Colour(20), QColor(Qt::black));
    EXPECT_EQ(Colour(100), QColor(Qt::white));
    EXPECT_EQ(changes.count(), 4);

    // On screen: a white character leaves no dark pixel in its cell, even as
    // the grid's current cell; a black one does.
    qelvara::SheetGrid &grid = *form_->MSHFlexGrid1;
    grid.setCurrentCell(0, 6);
    const QImage image = grid.viewport()->grab().toImage();
    const qreal ratio = image.devicePixelRatio();
    auto pixels = [&](int k) {
        const QRect r = grid.visualItemRect(Cell(k));
        return QRect((QPointF(r.topLeft()) * ratio).toPoint(), (QSizeF(r.size()) * ratio).toSize());
    };
    EXPECT_EQ(DarkPixels(image, pixels(7)), 0);
    EXPECT_EQ(DarkPixels(image, pixels(100)), 0);
    EXPECT_GT(DarkPixels(image, pixels(20)), 30);
    EXPECT_GT(DarkPixels(image, pixels(8)), 30);
}

TEST_F(TypingTest, TheBoxNeverHoldsMoreThan100Units) {
    const QString many = QString(SheetChar(1)).repeated(150);

    Paste(many);
    EXPECT_EQ(Units(), 100);
    Paste(SheetChar(2));
    TypeKey(SheetChar(2));
    QTest::keyClick(form_->Text1, Qt::Key_Return);
    EXPECT_EQ(Units(), 100);
    EXPECT_EQ(Colour(2), QColor(Qt::black));

    form_->Text1->selectAll();
    TypeKey(SheetChar(3)); // replacing a selection frees its room
    EXPECT_EQ(form_->Text1->toPlainText(), SheetChar(3));

    form_->Window().SetTypingText(u"");
    for (int i = 0; i < 150; ++i)
        TypeKey(SheetChar(4));
    EXPECT_EQ(Units(), 100);

    // An input method's commit is cut; its composition stays as it was.
    form_->Window().SetTypingText(u"");
    Commit(QString(SheetChar(5)).repeated(99));
    QInputMethodEvent both(SheetChar(9), {});
    both.setCommitString(SheetChar(6) + SheetChar(7));
    QCoreApplication::sendEvent(form_->Text1, &both);
    EXPECT_EQ(Units(), 100);
    EXPECT_EQ(Colour(6), QColor(Qt::white));
    EXPECT_EQ(Colour(7), QColor(Qt::black));
    EXPECT_EQ(form_->Text1->textCursor().block().layout()->preeditAreaText(), SheetChar(9));
    Preedit(QString());

    // Drag and drop.
    form_->Window().SetTypingText(u"");
    EXPECT_TRUE(Drop(many));
    EXPECT_EQ(Units(), 100);
    EXPECT_FALSE(Drop(SheetChar(8)));
    EXPECT_EQ(Units(), 100);

    // A surrogate pair is never split at the limit.
    const QString astral = QString::fromUtf16(u"\U00020000");
    form_->Window().SetTypingText(u"");
    Paste(QString(OffSheet()).repeated(99));
    Paste(astral + astral);
    TypeKey(astral);
    Commit(astral);
    EXPECT_EQ(Units(), 99);
    Commit(OffSheet() + astral);
    EXPECT_EQ(Units(), 100);
    EXPECT_FALSE(form_->Text1->toPlainText().back().isHighSurrogate());

    // Undo and redo, by key and through the context menu, only revisit
    // states that kept the limit.
    form_->Window().SetTypingText(u"");
    Paste(QString(SheetChar(1)).repeated(60));
    Paste(QString(SheetChar(2)).repeated(60));
    form_->Text1->selectAll();
    Paste(QString(SheetChar(3)).repeated(120));
    std::unique_ptr<QMenu> menu(form_->Text1->CreateContextMenu());
    QAction *undo = menu->findChild<QAction *>(QStringLiteral("edit-undo"));
    ASSERT_NE(undo, nullptr);
    undo->trigger();
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(form_->Text1, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_LE(Units(), 100) << "undo " << i;
    }
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(form_->Text1, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_LE(Units(), 100) << "redo " << i;
    }
    EXPECT_EQ(form_->Text1->toPlainText(), QString(SheetChar(3)).repeated(100));
    EXPECT_EQ(Colour(3), QColor(Qt::white));
}

TEST_F(TypingTest, SettingTheTextRaisesTheChangeEventAtOnceOnlyOnAChange) {
    QSignalSpy changes(form_->Text1, &qelvara::TypingBox::contentChanged);
    const std::u16string two = temp::State.SheetText.substr(0, 2);
    form_->Window().SetTypingText(u"");
    EXPECT_EQ(changes.count(), 0);
    form_->Window().SetTypingText(two);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(temp::State.PrevText, two); // the change pass has run
    form_->Window().SetTypingText(two);
    EXPECT_EQ(changes.count(), 1);
}

} // namespace
} // namespace uitest
