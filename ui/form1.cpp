#include "form1.h"

#include "engine/temp.h"
#include "fonts.h"
#include "form/form.h"
#include "form/version.h"
#include "form_window.h"
#include "push_button.h"
#include "sheet_grid.h"
#include "typing_box.h"
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
#include <utility>
#include <vector>

using qelvara::TwipsToPixels;

namespace {

constexpr int kSheetRows = temp::kSheetSize / temp::kSheetColumns; // 5

QRect TwipsRect(const form::Place &place) {
    return QRect(TwipsToPixels(place.left), TwipsToPixels(place.top), TwipsToPixels(place.width),
                 TwipsToPixels(place.height));
}

// The table's name, place, font and words for a control; hidden ones hidden.
template <typename Widget> Widget *Placed(Widget *widget, form::Id id) {
    const form::Control &control = form::ControlOf(id);
    widget->setObjectName(
        QString::fromLatin1(control.name.data(), static_cast<qsizetype>(control.name.size())));
    widget->setGeometry(TwipsRect(control.place));
    if (control.font.face != form::Face::Default)
        widget->setFont(qelvara::FontOf(control.font));
    widget->setAccessibleName(qelvara::ToQString(form::AccessibleName(control)));
    widget->setAccessibleDescription(qelvara::ToQString(control.accessibleDescription));
    if (!control.visible)
        widget->hide();
    return widget;
}

QString TextOf(form::Id id) {
    return qelvara::ToQString(form::ControlOf(id).text);
}

// A one-pixel line in the text colour from the table's start to its end.
QFrame *MakeLine(QWidget *parent, form::Id id) {
    auto *line = new QFrame(parent);
    line->setObjectName(QString::fromLatin1(form::ControlOf(id).name.data()));
    line->setFrameShape(QFrame::NoFrame);
    line->setAutoFillBackground(true);
    // The one-role setColor sets every colour group, so the lines stay when the window is inactive.
    QPalette pal = line->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::WindowText));
    line->setPalette(pal);
    const form::Place &p = form::ControlOf(id).place;
    const int left = TwipsToPixels(p.left);
    const int top = TwipsToPixels(p.top);
    line->setGeometry(left, top, TwipsToPixels(p.left + p.width) - left + 1,
                      TwipsToPixels(p.top + p.height) - top + 1);
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

} // namespace

Form1::Form1(QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromUtf8(qelvara::kWindowTitle));
    setFixedSize(TwipsToPixels(form::kClientWidth), TwipsToPixels(form::kClientHeight));
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
    using form::Id;
    Command2 = Placed(new qelvara::PushButton(TextOf(Id::Command2), this), Id::Command2);

    // Running at design time; the load pass stops it.
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(temp::kTickMilliseconds);
    Timer1->start();

    Command1 = Placed(new qelvara::PushButton(TextOf(Id::Command1), this), Id::Command1);
    // A click leaves the focus, and with it any composition, in the typing
    // box: the finish commits it there the same way whatever the input
    // method's plugin would do on a focus change. Tab still reaches it.
    Command1->setFocusPolicy(Qt::TabFocus);

    Text1 = Placed(new qelvara::TypingBox(this), Id::Text1);
    MSHFlexGrid1 = Placed(new qelvara::SheetGrid(this), Id::MSHFlexGrid1);

    Text2 = Placed(new CaretKeepingLineEdit(TextOf(Id::Text2), this), Id::Text2);
    Text2->setCursorPosition(0);

    Label2 = Placed(new QLabel(TextOf(Id::Label2), this), Id::Label2);
    Label2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label2->setWordWrap(false);
    // One line of 13 characters of 13 pixels fills the designed rectangle
    // exactly, so a wider face would lose both ends: the label grows to its
    // text, about the same centre.
    const QRect intro = Label2->geometry();
    const int textWidth = qCeil(QFontMetricsF(Label2->font()).horizontalAdvance(Label2->text()));
    const int labelWidth = std::max(intro.width(), textWidth);
    Label2->setGeometry(intro.left() - (labelWidth - intro.width()) / 2, intro.top(), labelWidth,
                        intro.height());

    Line4 = MakeLine(this, Id::Line4);
    Line3 = MakeLine(this, Id::Line3);
    Line2 = MakeLine(this, Id::Line2);
    Line1 = MakeLine(this, Id::Line1);

    Label3 = Placed(new QLabel(this), Id::Label3);
    Label3->setAlignment(Qt::AlignCenter);
    QPalette clock = Label3->palette();
    clock.setColor(QPalette::WindowText, qelvara::ColourFromBgr(form::kClockColour));
    Label3->setPalette(clock);

    // No default (Enter) or cancel (Escape) button anywhere.
    for (QPushButton *button : {Command1, Command2}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    // The table's tab order among the controls that take the focus (the grid
    // and the labels take none).
    std::vector<std::pair<int, QWidget *>> order;
    for (const form::Control &control : form::kControls)
        if (QWidget *w = findChild<QWidget *>(QString::fromLatin1(control.name.data()));
            w != nullptr && control.tabIndex != form::kNoTab && (w->focusPolicy() & Qt::TabFocus))
            order.emplace_back(control.tabIndex, w);
    std::ranges::sort(order);
    for (std::size_t i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1].second, order[i].second);
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
        w.SetColumnWidthTwips(column, form::kColumnWidth);
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
