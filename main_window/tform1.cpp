#include "main_window/tform1.h"

#include "core/settings_file.h"
#include "main_window/db_controls.h"
#include "main_window/key_filter.h"
#include "main_window/page_look.h"
#include "main_window/spin_edit.h"
#include "side_windows/picture_box.h"
#include "store/table.h"
#include "store/table_location.h"
#include "widgets/accessible_states.h"
#include "widgets/error_report.h"
#include "widgets/message_box.h"
#include "widgets/open_dialog.h"
#include "widgets/panel.h"
#include "widgets/program_icon.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

using palvane::handler;

namespace {

constexpr int kClientWidth = 570;
constexpr int kClientHeight = 329;
// Each tab page's client area; the strips placed at a page's bottom end at its edges.
constexpr QSize kPageSize(562, 299);

QFont arialPixels(int pixels, bool bold = false, bool italic = false) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

// The colour of an enabled control's text; a disabled control keeps the style's disabled look
// (the user reads the entry-changed flag from Update Entry's caption).
void setTextColour(QWidget* w, const QColor& colour) {
    QPalette pal = w->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(group, QPalette::WindowText, colour);
        pal.setColor(group, QPalette::Text, colour);
        pal.setColor(group, QPalette::ButtonText, colour);
    }
    w->setPalette(pal);
}

const QColor kNavy(0, 0, 128);
const QColor kGreen(0, 128, 0);
const QColor kMaroon(128, 0, 0);

// A field caption: navy bold, its right edge at x = 69 on the row whose box starts at top y.
QLabel* rowCaption(QWidget* parent, const char* name, const QString& text, int captionTop) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setFont(arialPixels(12, true));
    setTextColour(label, kNavy);
    label->adjustSize();
    label->move(69 - label->width(), captionTop);
    return label;
}

QLabel* placedLabel(QWidget* parent, const char* name, const QString& text, int x, int y,
                    const QColor& colour, bool bold) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setFont(arialPixels(12, bold));
    setTextColour(label, colour);
    label->move(x, y);
    label->adjustSize();
    return label;
}

QPushButton* button(QWidget* parent, const char* name, const QString& text, int x, int y, int w,
                    int h) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(x, y, w, h);
    b->setAutoDefault(false);
    setTextColour(b, Qt::black);
    return b;
}

constexpr int kRowTops[] = {8, 40, 72, 104};

} // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    // Before the tab bar exists: a screen reader may ask about it as soon as it does.
    palvane::installTabBarAccessible();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromLatin1(palvane::kApplicationTitle));
    setWindowIcon(palvane::programIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    QFont windowFont(QStringLiteral("MS Sans Serif"));
    windowFont.setPixelSize(11);
    setFont(windowFont);
    move(231, 138); // the designed place; FormCreate moves it to the stored one

    Table1 = new palvane::Table(this);
    Table1->setObjectName(QStringLiteral("Table1"));
    Table1->setDatabaseName(QLatin1String(palvane::kTableFolder) + QLatin1Char('/'));
    Table1->setTableName(QLatin1String(palvane::kTableFileName));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(250);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(50);
    Timer2->setTimerType(Qt::PreciseTimer); // the banner's hold is 2000 ms, not about 2 s

    OpenDialog1 = new palvane::OpenDialog(this);
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    OpenDialog1->Filter = QStringLiteral("Image File (*.bmp)");

    buildMenu();
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setFont(arialPixels(12));
    palvane::keepPageSize(PageControl1, kPageSize);
    PageControl1->setToolTip(QStringLiteral("To edit, switch to the Edit/Add tab"));
    setCentralWidget(PageControl1);
    buildViewTab();
    buildEditTab();
    buildClockPanels();
    PageControl1->setCurrentWidget(TabSheet1);

    // Client area below the menu bar is fixed; the window cannot be resized or maximised.
    setFixedSize(kClientWidth, kClientHeight + MainMenu1->sizeHint().height());

    nameForAssistiveTechnology();
    palvane::neverShowHints(this);
    connectHandlers();
    Timer1->start();
}

// Screen readers announce each box by the caption beside it and read every value as shown.
void TForm1::nameForAssistiveTechnology() {
    const QString nick = QStringLiteral("Nick");
    const QString name = QStringLiteral("Real Name");
    const QString email = QStringLiteral("E-Mail");
    const QString location = QStringLiteral("Location");
    const QString notes = QStringLiteral("Notes");
    PageControl1->setAccessibleName(QStringLiteral("Contact pages"));
    Edit1->setAccessibleName(nick);
    Edit1->setAccessibleDescription(
        QStringLiteral("Type a nick; the closest match is shown and completed"));
    DBEdit1->setAccessibleName(name);
    DBEdit3->setAccessibleName(email);
    DBEdit2->setAccessibleName(location);
    DBMemo1->setAccessibleName(notes);
    Edit2->setAccessibleName(nick);
    Edit3->setAccessibleName(name);
    Edit5->setAccessibleName(email);
    Edit4->setAccessibleName(location);
    Memo1->setAccessibleName(notes);
    SpinEdit1->setAccessibleName(QStringLiteral("Their time offset in hours"));
    Image1->setAccessibleName(QStringLiteral("Picture"));
    Image1->setAccessibleDescription(QStringLiteral(
        "Picture of the contact; double-click or press Alt+P to see it at full size"));
    Image2->setAccessibleName(QStringLiteral("Picture"));
    Image2->setAccessibleDescription(QStringLiteral("Picture of the contact"));
    Panel5->setAccessibleName(QStringLiteral("Status banner"));
    Panel5->setAccessibleDescription(QStringLiteral("Click or press Alt+S for a surprise"));
    Panel6->setAccessibleName(QStringLiteral("Clocks"));
    Panel7->setAccessibleName(QStringLiteral("Their clock and offset"));
    // A value label needs no name: its text is what a screen reader speaks. Each caption is tied
    // to the control it captions, so the value is announced with its caption.
    struct Captioned {
        const char* caption;
        QWidget* control;
    };
    for (const Captioned& c :
         {Captioned{"Label7", Edit1}, Captioned{"Label8", DBEdit1}, Captioned{"Label19", DBEdit3},
          Captioned{"Label9", DBEdit2}, Captioned{"Label3", Edit2}, Captioned{"Label4", Edit3},
          Captioned{"Label20", Edit5}, Captioned{"Label5", Edit4}, Captioned{"Label11", Label1},
          Captioned{"Label15", Label16}, Captioned{"Label12", Label2},
          Captioned{"Label14", Label13}, Captioned{"Hour12Def", Label6},
          Captioned{"Label18", Label17}, Captioned{"Label10", SpinEdit1}})
        findChild<QLabel*>(QLatin1String(c.caption))->setBuddy(c.control);
}

TForm1::~TForm1() {
    delete Settings;
}

void TForm1::buildMenu() {
    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    File1 = MainMenu1->addMenu(QStringLiteral("&File"));
    File1->setObjectName(QStringLiteral("File1"));
    Exit1 = File1->addAction(QStringLiteral("&Exit"));
    Exit1->setObjectName(QStringLiteral("Exit1"));
    About1 = MainMenu1->addAction(QStringLiteral("&About"));
    About1->setObjectName(QStringLiteral("About1"));
}

void TForm1::buildViewTab() {
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    PageControl1->addTab(TabSheet1, QStringLiteral("View"));

    rowCaption(TabSheet1, "Label7", QStringLiteral("Nick"), 12);
    rowCaption(TabSheet1, "Label8", QStringLiteral("Real Name"), 44);
    rowCaption(TabSheet1, "Label19", QStringLiteral("E-Mail"), 76);
    rowCaption(TabSheet1, "Label9", QStringLiteral("Location"), 108);

    Edit1 = new QLineEdit(TabSheet1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setToolTip(
        QStringLiteral("Type in a persons name here, and the closest match will be displayed"));
    DBEdit1 = new palvane::DBEdit(TabSheet1);
    DBEdit1->setObjectName(QStringLiteral("DBEdit1"));
    DBEdit3 = new palvane::DBEdit(TabSheet1);
    DBEdit3->setObjectName(QStringLiteral("DBEdit3"));
    DBEdit2 = new palvane::DBEdit(TabSheet1);
    DBEdit2->setObjectName(QStringLiteral("DBEdit2"));
    QWidget* rows[] = {Edit1, DBEdit1, DBEdit3, DBEdit2};
    for (int i = 0; i < 4; ++i) {
        rows[i]->setGeometry(80, kRowTops[i], 169, 23);
        setTextColour(rows[i], kGreen);
    }
    DBEdit1->setDataField(palvane::FieldName);
    DBEdit2->setDataField(palvane::FieldLocation);
    DBEdit3->setDataField(palvane::FieldEmail);

    Button4 = button(TabSheet1, "Button4", QStringLiteral("Previous Record"), 152, 144, 105, 25);
    Button3 = button(TabSheet1, "Button3", QStringLiteral("Next Record"), 272, 144, 105, 25);

    Panel6 = new palvane::Panel(TabSheet1);
    Panel6->setObjectName(QStringLiteral("Panel6"));
    Panel6->setGeometry(272, 8, 273, 121);
    Panel6->setBevels(palvane::Panel::Bevel::Raised, palvane::Panel::Bevel::Lowered);
    Panel6->setAutoFillBackground(true);
    Panel6->setStyleSheet(QStringLiteral("#Panel6 { background: white; }"));

    // Bottom strips, stacked from the bottom of the 299-pixel page: banner, picture and notes,
    // then the header strip.
    Panel5 = new palvane::Panel(TabSheet1);
    Panel5->setObjectName(QStringLiteral("Panel5"));
    Panel5->setGeometry(0, 279, 562, 20);
    Panel5->setBevels(palvane::Panel::Bevel::Lowered, palvane::Panel::Bevel::Raised);
    Panel5->setAlignment(Qt::AlignLeft);
    Panel5->setFont(arialPixels(12, false, true));
    setTextColour(Panel5, Qt::black);

    Panel1 = new palvane::Panel(TabSheet1);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 199, 562, 80);
    Panel1->setBevels(palvane::Panel::Bevel::Raised, palvane::Panel::Bevel::None);

    Panel2 = new palvane::Panel(TabSheet1);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setGeometry(0, 177, 562, 22);
    Panel2->setBevels(palvane::Panel::Bevel::Raised, palvane::Panel::Bevel::Lowered);
    Panel2->setAlignment(Qt::AlignLeft);
    Panel2->setCaption(QString(8, QLatin1Char(' ')) + QStringLiteral("Picture:") +
                       QString(80, QLatin1Char(' ')) + QStringLiteral("Notes:"));
    Panel2->setFont(arialPixels(12, true));
    setTextColour(Panel2, kNavy);

    Image1 = new palvane::PictureBox(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(16, 4, 73, 74);
    Image1->setStretch(true);
    Image1->hide();

    DBMemo1 = new palvane::DBMemo(Panel1);
    DBMemo1->setObjectName(QStringLiteral("DBMemo1"));
    DBMemo1->setGeometry(562 - 1 - 425, 1, 425, 78);
    DBMemo1->setDataField(palvane::FieldNotes);
    setTextColour(DBMemo1, kGreen);

    for (palvane::DBEdit* e : {DBEdit1, DBEdit2, DBEdit3})
        e->setDataSource(Table1);
    DBMemo1->setDataSource(Table1);

    // Focus order: Next, Previous, search box, name, e-mail, location, notes.
    setTabOrder(Button3, Button4);
    setTabOrder(Button4, Edit1);
    setTabOrder(Edit1, DBEdit1);
    setTabOrder(DBEdit1, DBEdit3);
    setTabOrder(DBEdit3, DBEdit2);
    setTabOrder(DBEdit2, DBMemo1);
}

void TForm1::buildEditTab() {
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Edit/Add"));

    rowCaption(TabSheet2, "Label3", QStringLiteral("Nick"), 12);
    rowCaption(TabSheet2, "Label4", QStringLiteral("Real Name"), 44);
    rowCaption(TabSheet2, "Label20", QStringLiteral("E-Mail"), 76);
    rowCaption(TabSheet2, "Label5", QStringLiteral("Location"), 108);

    Edit2 = new QLineEdit(TabSheet2);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit3 = new QLineEdit(TabSheet2);
    Edit3->setObjectName(QStringLiteral("Edit3"));
    Edit5 = new QLineEdit(TabSheet2);
    Edit5->setObjectName(QStringLiteral("Edit5"));
    Edit4 = new QLineEdit(TabSheet2);
    Edit4->setObjectName(QStringLiteral("Edit4"));
    QLineEdit* rows[] = {Edit2, Edit3, Edit5, Edit4};
    for (int i = 0; i < 4; ++i) {
        rows[i]->setGeometry(80, kRowTops[i], 169, 23);
        setTextColour(rows[i], Qt::black);
    }

    Button2 = button(TabSheet2, "Button2", QStringLiteral("Update Entry"), 104, 144, 99, 25);
    Button1 = button(TabSheet2, "Button1", QStringLiteral("New Entry"), 220, 144, 99, 25);
    Button5 = button(TabSheet2, "Button5", QStringLiteral("Delete Entry"), 336, 144, 99, 25);
    Button6 = button(TabSheet2, "Button6", QStringLiteral("Previous Record"), 288, 104, 107, 25);
    Button7 = button(TabSheet2, "Button7", QStringLiteral("Next Record"), 416, 104, 105, 25);

    Panel7 = new palvane::Panel(TabSheet2);
    Panel7->setObjectName(QStringLiteral("Panel7"));
    Panel7->setGeometry(256, 8, 281, 89);
    Panel7->setBevels(palvane::Panel::Bevel::Lowered, palvane::Panel::Bevel::Raised);
    Panel7->setAutoFillBackground(true);
    Panel7->setStyleSheet(QStringLiteral("#Panel7 { background: white; }"));

    Panel3 = new palvane::Panel(TabSheet2);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setGeometry(0, 200, 562, 99);
    Panel3->setBevels(palvane::Panel::Bevel::Raised, palvane::Panel::Bevel::None);

    Panel4 = new palvane::Panel(TabSheet2);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    Panel4->setGeometry(0, 178, 562, 22);
    Panel4->setBevels(palvane::Panel::Bevel::Raised, palvane::Panel::Bevel::Lowered);
    Panel4->setAlignment(Qt::AlignLeft);
    Panel4->setCaption(QString(6, QLatin1Char(' ')) + QStringLiteral("Picture:") +
                       QString(82, QLatin1Char(' ')) + QStringLiteral("Notes:"));
    Panel4->setFont(arialPixels(12, true));
    setTextColour(Panel4, kNavy);

    Image2 = new palvane::PictureBox(Panel3);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(8, 10, 73, 73);
    Image2->setStretch(true);
    Image2->hide();

    Button8 = button(Panel3, "Button8", QStringLiteral("Add"), 88, 18, 43, 25);
    Button9 = button(Panel3, "Button9", QStringLiteral("Clear"), 88, 58, 43, 25);

    Memo1 = new QPlainTextEdit(Panel3);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(144, 1, 409, 97);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setTabChangesFocus(true);
    setTextColour(Memo1, Qt::black);
}

void TForm1::buildClockPanels() {
    placedLabel(Panel6, "Label11", QStringLiteral("Local Time:"), 8, 4, kNavy, true);
    placedLabel(Panel6, "Label15", QStringLiteral("Local Date:"), 10, 36, kNavy, true);
    placedLabel(Panel6, "Label12", QStringLiteral("Their Time:"), 10, 68, kNavy, true);
    placedLabel(Panel6, "Label14", QStringLiteral("Their Date:"), 12, 100, kNavy, true);
    Label1 =
        placedLabel(Panel6, "Label1", QStringLiteral("Local_Time_Caption"), 78, 4, kMaroon, false);
    Label16 = placedLabel(Panel6, "Label16", QStringLiteral("Local_Date_Caption"), 78, 36, kMaroon,
                          false);
    Label2 =
        placedLabel(Panel6, "Label2", QStringLiteral("Their_Time_Caption"), 78, 68, kMaroon, false);
    Label13 = placedLabel(Panel6, "Label13", QStringLiteral("Their_Date_Caption"), 78, 98, kMaroon,
                          false);

    placedLabel(Panel7, "Hour12Def", QStringLiteral("Their Time:"), 4, 4, kNavy, true);
    placedLabel(Panel7, "Label18", QStringLiteral("Their Date:"), 4, 28, kNavy, true);
    placedLabel(Panel7, "Label10", QStringLiteral("Their time offset in hours:"), 4, 52, kNavy,
                false);
    Label6 =
        placedLabel(Panel7, "Label6", QStringLiteral("Their_Time_Caption"), 72, 4, kMaroon, false);
    Label17 = placedLabel(Panel7, "Label17", QStringLiteral("Their_Date_Caption"), 72, 28, kMaroon,
                          false);
    // Value labels grow with their text; give them room up to the panel's right edge.
    for (QLabel* value : {Label1, Label16, Label2, Label13})
        value->resize(273 - 78 - 4, value->height());
    for (QLabel* value : {Label6, Label17})
        value->resize(281 - 72 - 4, value->height());

    SpinEdit1 = new palvane::SpinEdit(Panel7);
    SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
    SpinEdit1->setGeometry(152, 47, 41, 24);
    SpinEdit1->setRange(-24, 24);
    SpinEdit1->setSingleStep(1);
    SpinEdit1->setValueClamped(0);
    setTextColour(SpinEdit1, Qt::black);

    // Focus order of the Edit/Add tab.
    QWidget* order[] = {Edit2,   Edit3,   Edit5,   Edit4,   Memo1,   Button8,  Button9,
                        Button2, Button1, Button5, Button6, Button7, SpinEdit1};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

void TForm1::connectHandlers() {
    connect(Exit1, &QAction::triggered, this, handler(this, &TForm1::Exit1Click));
    connect(About1, &QAction::triggered, this, handler(this, &TForm1::About1Click));
    connect(Button3, &QPushButton::clicked, this, handler(this, &TForm1::Button3Click));
    connect(Button4, &QPushButton::clicked, this, handler(this, &TForm1::Button4Click));
    connect(Image1, &palvane::PictureBox::doubleClicked, this,
            handler(this, &TForm1::Image1DblClick));
    connect(Panel5, &palvane::Panel::clicked, this, handler(this, &TForm1::Panel5Click));
    // Keyboard equivalents of the View tab's two mouse commands. A shortcut belongs to its
    // control and, like the mouse, reaches it only while the control is shown.
    auto* viewPicture = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_P), Image1);
    connect(viewPicture, &QShortcut::activated, Image1, &palvane::PictureBox::doubleClicked);
    auto* openSurprise = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_S), Panel5);
    connect(openSurprise, &QShortcut::activated, Panel5, &palvane::Panel::clicked);
    connect(Timer1, &QTimer::timeout, this, handler(this, &TForm1::Timer1Timer));
    connect(Timer2, &QTimer::timeout, this, handler(this, &TForm1::Timer2Timer));

    // The search box: program writes go through writeSearchBox, which lets a failure of the
    // search reach the routine that wrote the box.
    connect(Edit1, &QLineEdit::textChanged, this, [this] { runEdit1Change(); });
    auto* edit1Keys = new palvane::KeyFilter(Edit1);
    connect(edit1Keys, &palvane::KeyFilter::keyPress, this,
            [this](QChar key) { palvane::guarded([&] { Edit1KeyPress(key); }); });

    connect(Button1, &QPushButton::clicked, this, handler(this, &TForm1::Button1Click));
    connect(Button2, &QPushButton::clicked, this, handler(this, &TForm1::Button2Click));
    connect(Button5, &QPushButton::clicked, this, handler(this, &TForm1::Button5Click));
    connect(Button6, &QPushButton::clicked, this, handler(this, &TForm1::Button6Click));
    connect(Button7, &QPushButton::clicked, this, handler(this, &TForm1::Button7Click));
    connect(Button8, &QPushButton::clicked, this, handler(this, &TForm1::Button8Click));
    connect(Button9, &QPushButton::clicked, this, handler(this, &TForm1::Button9Click));
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] {
        if (!programTabSwitch_)
            palvane::guarded([this] { PageControl1Change(); });
    });

    auto* edit2Keys = new palvane::KeyFilter(Edit2);
    connect(edit2Keys, &palvane::KeyFilter::keyDown, this,
            [this](int key) { palvane::guarded([&] { Edit2KeyDown(key); }); });
    struct KeyPressBinding {
        QObject* box;
        void (TForm1::*handler)(QChar);
    };
    for (const KeyPressBinding& b : {KeyPressBinding{Edit3, &TForm1::Edit3KeyPress},
                                     KeyPressBinding{Edit4, &TForm1::Edit4KeyPress},
                                     KeyPressBinding{Edit5, &TForm1::Edit5KeyPress},
                                     KeyPressBinding{Memo1, &TForm1::Memo1KeyPress}}) {
        auto* keys = new palvane::KeyFilter(b.box);
        connect(keys, &palvane::KeyFilter::keyPress, this,
                [this, h = b.handler](QChar key) { palvane::guarded([&] { (this->*h)(key); }); });
    }
    connect(SpinEdit1, &palvane::SpinEdit::characterKeyPressed, this,
            [this](QChar key) { palvane::guarded([&] { SpinEdit1KeyPress(key); }); });
    connect(SpinEdit1, &palvane::SpinEdit::changed, this, handler(this, &TForm1::SpinEdit1Change));
}

// Start-up: window position from the settings file, then the table, then the first contact.
void TForm1::FormCreate() {
    Settings = new palvane::SettingsFile(QStringLiteral("PALVANE.INI"));
    const int left = Settings->ReadInteger(QStringLiteral("Window"), QStringLiteral("Left"), 226);
    move(left, y());
    const int top = Settings->ReadInteger(QStringLiteral("Window"), QStringLiteral("Top"), 167);
    move(x(), top);

    Table1->open();

    if (!Table1->isEmpty()) {
        ShowViewRecord();
        RefreshClocks();
    } else {
        palvane::showInformation(
            QStringLiteral("There are no records in the current database. Please make an entry."));
        setActivePage(TabSheet2);
    }
}

void TForm1::FormShow() {
    Timer2->start();
}

void TForm1::FormClose() {
    Settings->WriteInteger(QStringLiteral("Window"), QStringLiteral("Left"), x());
    Settings->WriteInteger(QStringLiteral("Window"), QStringLiteral("Top"), y());
    Table1->close();
}

void TForm1::Exit1Click() {
    // The quit request alone: the close handler does not run, nothing is written.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (!palvane::guarded([this] { FormClose(); })) {
        event->ignore(); // the close is abandoned; the window stays open
        return;
    }
    event->accept();
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        palvane::guarded([this] { FormShow(); });
    }
}

void TForm1::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LocaleChange)
        Clock.rebuildTimeFormat(QLocale::system());
    QMainWindow::changeEvent(event);
}

void TForm1::setActivePage(QWidget* page) {
    programTabSwitch_ = true;
    PageControl1->setCurrentWidget(page);
    programTabSwitch_ = false;
}

void TForm1::Button3Click() {
    Table1->next();
    ShowViewRecord();
}

void TForm1::Button4Click() {
    Table1->prior();
    ShowViewRecord();
}

void TForm1::Timer1Timer() {
    RefreshClocks();
}

void TForm1::setIntervalIfChanged(QTimer* timer, int milliseconds) {
    // Assigning a new interval restarts the timer; the same interval is left alone.
    if (timer->interval() != milliseconds)
        timer->setInterval(milliseconds);
}

void TForm1::Timer2Timer() {
    const palvane::TypewriterStep step = palvane::bannerStep(BannerState, palvane::creditText());
    if (step.stopTimer)
        Timer2->stop();
    else
        setIntervalIfChanged(Timer2, step.nextInterval);
    Panel5->setCaption(step.caption);
}

QString TForm1::currentPicturePath() const {
    return OpenDialog1->FileName;
}

void TForm1::setCurrentPicturePath(const QString& path) {
    OpenDialog1->FileName = path;
}
