#include "form1.h"

#include "engine/temp.h"
#include "fonts.h"
#include "form_window.h"
#include "push_button.h"
#include "sheet_grid.h"
#include "typing_box.h"
#include "ui/version.h"
#include "window_state.h"

#include <QFontMetricsF>
#include <QFrame>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QWindow>
#include <QtMath>

#include <algorithm>

using qelvara::TwipsToPixels;

namespace {

constexpr int kClientWidthTwips = 10215;
constexpr int kClientHeightTwips = 6375;
constexpr int kColumnWidthTwips = 493;
constexpr int kSheetRows = temp::kSheetSize / temp::kSheetColumns; // 5

QRect TwipsRect(int left, int top, int width, int height) {
    return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                 TwipsToPixels(height));
}

// A one-pixel line in the text colour between two points on a row or a column.
QFrame *MakeLine(QWidget *parent, const char *name, int x1, int y1, int x2, int y2) {
    auto *line = new QFrame(parent);
    line->setObjectName(QString::fromLatin1(name));
    line->setFrameShape(QFrame::NoFrame);
    line->setAutoFillBackground(true);
    // The one-role setColor sets every colour group, so the lines stay when the window is inactive.
    QPalette pal = line->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::WindowText));
    line->setPalette(pal);
    const int left = TwipsToPixels(std::min(x1, x2));
    const int top = TwipsToPixels(std::min(y1, y2));
    line->setGeometry(left, top, TwipsToPixels(std::max(x1, x2)) - left + 1,
                      TwipsToPixels(std::max(y1, y2)) - top + 1);
    line->hide();
    return line;
}

// A text box that keeps its caret on getting the focus. QLineEdit selects all
// of its text on Tab focus, and a dialog's first show counts as one.
class CaretKeepingLineEdit : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    void focusInEvent(QFocusEvent *event) override {
        const bool hadSelection = hasSelectedText();
        const int caret = cursorPosition();
        QLineEdit::focusInEvent(event);
        if (!hadSelection && hasSelectedText()) {
            deselect();
            setCursorPosition(caret);
        }
    }
};

void Describe(QWidget *widget, const QString &name, const QString &description) {
    widget->setAccessibleName(name);
    widget->setAccessibleDescription(description);
}

} // namespace

Form1::Form1(QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromUtf8(qelvara::kWindowTitle));
    setFixedSize(TwipsToPixels(kClientWidthTwips), TwipsToPixels(kClientHeightTwips));
    setSizeGripEnabled(false);
    // The sheet reads left to right whatever -reverse or the locale asks for.
    setLayoutDirection(Qt::LeftToRight);

    QIcon icon;
    for (const int size : {16, 32})
        icon.addFile(QStringLiteral(":/icons/hicolor/%1x%1/apps/%2.png")
                         .arg(size)
                         .arg(QString::fromUtf8(qelvara::kAppId)),
                     QSize(size, size));
    setWindowIcon(icon);

    CreateControls();

    window_ = std::make_unique<qelvara::FormWindow>(*this);
    temp::SetWindow(window_.get());

    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Text1, &qelvara::TypingBox::contentChanged, this, &Form1::Text1_Change);
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
}

Form1::~Form1() {
    // The controls outlive this part of the window: a change or a tick they
    // signal while QDialog deletes them must not reach Form1's handlers.
    for (QObject *control : children())
        control->disconnect(this);
    temp::SetWindow(nullptr);
}

void Form1::CreateControls() {
    Command2 = new qelvara::PushButton(QStringLiteral("確定"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setGeometry(TwipsRect(4560, 2040, 1095, 375));
    Command2->setFont(qelvara::SansFont(9.75));
    Describe(Command2, QStringLiteral("確定"), QStringLiteral("開始打字測驗"));

    // Running at design time; the load pass stops it.
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(temp::kTickMilliseconds);
    Timer1->start();

    Command1 = new qelvara::PushButton(QStringLiteral("完成"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(TwipsRect(8760, 4800, 1215, 375));
    Command1->setFont(qelvara::SansFont(9.75));
    Command1->hide();
    Describe(Command1, QStringLiteral("完成"),
             QStringLiteral("結束這次測驗並顯示成績；測驗滿一分鐘後才能按"));
    // A click leaves the focus, and with it any composition, in the typing
    // box: the finish commits it there the same way whatever the input
    // method's plugin would do on a focus change. Tab still reaches it.
    Command1->setFocusPolicy(Qt::TabFocus);

    Text1 = new qelvara::TypingBox(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(TwipsRect(120, 3600, 8295, 2655));
    Text1->setFont(qelvara::MingFont(12));
    Text1->hide();
    Describe(Text1, QStringLiteral("打字區"),
             QStringLiteral("在這裡輸入字表上的字，次序不拘，最多一百個字"));

    MSHFlexGrid1 = new qelvara::SheetGrid(this);
    MSHFlexGrid1->setObjectName(QStringLiteral("MSHFlexGrid1"));
    MSHFlexGrid1->setGeometry(TwipsRect(120, 120, 9975, 3375));
    MSHFlexGrid1->setFont(qelvara::MingFont(18));
    MSHFlexGrid1->hide();
    Describe(MSHFlexGrid1, QStringLiteral("字表"),
             QStringLiteral("要打的一百個字，每列二十個；打過的字會從字表上消失"));

    Text2 = new CaretKeepingLineEdit(QStringLiteral("Text2"), this);
    Text2->setCursorPosition(0);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setGeometry(TwipsRect(5160, 2160, 255, 195));
    Describe(Text2, QStringLiteral("文字框"),
             QStringLiteral("開始畫面上的小文字框，內容不會被使用"));

    Label2 = new QLabel(QStringLiteral("準備好沒有？按【確定】開始"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(qelvara::MingFont(9.75));
    Label2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label2->setWordWrap(false);
    // One line of 13 characters of 13 pixels fills the designed rectangle
    // exactly, so a wider face would lose both ends: the label grows to its
    // text, about the same centre.
    const QRect intro = TwipsRect(3840, 1080, 2535, 495);
    const int textWidth = qCeil(QFontMetricsF(Label2->font()).horizontalAdvance(Label2->text()));
    const int labelWidth = std::max(intro.width(), textWidth);
    Label2->setGeometry(intro.left() - (labelWidth - intro.width()) / 2, intro.top(), labelWidth,
                        intro.height());
    Describe(Label2, Label2->text(), QStringLiteral("開始前的說明"));

    Line4 = MakeLine(this, "Line4", 9960, 3840, 9960, 4440);
    Line3 = MakeLine(this, "Line3", 8760, 4440, 9960, 4440);
    Line2 = MakeLine(this, "Line2", 8760, 3840, 8760, 4440);
    Line1 = MakeLine(this, "Line1", 8760, 3840, 9960, 3840);

    Label3 = new QLabel(this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setGeometry(TwipsRect(8880, 3960, 975, 375));
    Label3->setFont(qelvara::SansFont(12, true));
    Label3->setAlignment(Qt::AlignCenter);
    QPalette clock = Label3->palette();
    clock.setColor(QPalette::WindowText, qelvara::ColourFromBgr(temp::kRed));
    Label3->setPalette(clock);
    Label3->hide();
    Describe(Label3, QStringLiteral("計時"), QStringLiteral("這次測驗已經過的時間，分：秒"));

    // No default (Enter) or cancel (Escape) button anywhere.
    for (QPushButton *button : {Command1, Command2}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    // Tab order: Text1, Text2, Command1, (labels,) Command2; the grid takes no focus.
    setTabOrder(Text1, Text2);
    setTabOrder(Text2, Command1);
    setTabOrder(Command1, Command2);
}

void Form1::showEvent(QShowEvent *event) {
    // The load pass: on the first show, before the window is on screen.
    if (!loaded_ && !event->spontaneous()) {
        loaded_ = true;
        // The window has its fixed size in every state.
        qelvara::KeepNormalState(windowHandle());
        Form1_Load();
    }
    QDialog::showEvent(event);
}

bool Form1::event(QEvent *event) {
    // The window manager's frame is known only once the window is mapped; if
    // it changed the outer size, centre again with the real one.
    if (event->type() == QEvent::WindowActivate && loaded_ && !recentred_) {
        recentred_ = true;
        if (frameGeometry().size() != assumed_outer_)
            Centre();
    }
    return QDialog::event(event);
}

void Form1::keyPressEvent(QKeyEvent *event) {
    // Escape would reject the dialog, and with it end the program.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Form1::Centre() {
    qelvara::FormWindow &w = *window_;
    assumed_outer_ = frameGeometry().size();
    w.SetTopTwips(w.ScreenHeightTwips() / 2 - w.OuterHeightTwips() / 2);
    w.SetLeftTwips(w.ScreenWidthTwips() / 2 - w.OuterWidthTwips() / 2);
}

void Form1::Form1_Load() {
    qelvara::FormWindow &w = *window_;
    Centre();
    temp::OnLoad();
    w.SetTimerRunning(false);
    for (int column = 0; column < qelvara::SheetGrid::kColumns; ++column)
        w.SetColumnWidthTwips(column, kColumnWidthTwips);
    // Rows tall enough for one 18-point character, all five sheet rows inside the grid.
    MSHFlexGrid1->SetRowHeightPixels(MSHFlexGrid1->contentsRect().height() / kSheetRows);
    w.SetTypingMaxLength(temp::kTypingLimit);
    // Text1 is hidden: the first visible control in tab order takes the focus.
    Text2->setFocus(Qt::OtherFocusReason);
}

void Form1::Command2_Click() {
    qelvara::FormWindow &w = *window_;
    temp::OnStart();
    Command2->hide();
    Label2->hide();
    Command1->show();
    Label3->show();
    for (QFrame *line : {Line1, Line2, Line3, Line4})
        line->show();
    Text1->show();
    Text2->hide();
    w.SetTimerRunning(true);
    MSHFlexGrid1->show();
    // As every later test does: the user can type at once.
    w.FocusTypingBox();
}

void Form1::Command1_Click() {
    temp::FinishTest();
}

void Form1::Text1_Change() {
    temp::TypingChanged();
}

void Form1::Timer1_Timer() {
    window_->SetInTick(true);
    temp::ClockTick();
    window_->SetInTick(false);
}
