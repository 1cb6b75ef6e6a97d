#include "script/ui/UpdateScripting.h"

#include "platform/Text.h"
#include "platform/qt/Ditto.h"
#include "platform/qt/Keyboard.h"
#include "platform/qt/OutsideClose.h"
#include "platform/qt/TextViewer.h"
#include "platform/qt/WindowPosition.h"
#include "script/ScriptItems.h"
#include "script/WindowMatch.h"
#include "store/Numbering.h"
#include "store/Table.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <map>

namespace kr {

namespace {

const QString kOther = QStringLiteral("Other");
const QString kNoInformation = QStringLiteral("No information is required for this action.");
const QString kProgramFilter =
    QStringLiteral("All Files|*.*|EXEs|*.EXE|COMs|*.COM|BATs|*.BAT|Shortcuts|*.LNK");
const QString kAnd = QStringLiteral("And");
const QString kOr = QStringLiteral("Or");

// The chooser's tabs: four actions each, in the order of the catalogue.
const char* const kGroups[] = {"Basic Actions", "Conditions", "Program Control", "Miscellaneous"};
constexpr int kActionsPerGroup = 4;

const QStringList kComparisons{QStringLiteral("="),  QStringLiteral("<"), QStringLiteral("<="),
                               QStringLiteral("=>"), QStringLiteral(">"), QStringLiteral("<>")};
const QStringList kLoadTypes{QStringLiteral("Insert (Execute and continue)"),
                             QStringLiteral("Jump to (Execute and skip)"), QStringLiteral("Append")};
const QStringList kFileActions{QStringLiteral("Copy"),
                               QStringLiteral("Move"),
                               QStringLiteral("Delete"),
                               QStringLiteral("Make Directory"),
                               QStringLiteral("Remove Directory"),
                               QStringLiteral("Get File Date"),
                               QStringLiteral("Get File Time"),
                               QStringLiteral("Get File Size"),
                               QStringLiteral("If File Exists"),
                               QStringLiteral("Log Windows")};

const std::map<QString, QString>& PageNames() {
    static const std::map<QString, QString> names{
        {action::SendKeystrokes, QStringLiteral("Keys")},
        {action::SetFocus, QStringLiteral("Focus")},
        {action::Wait, QStringLiteral("Wait")},
        {action::DisplayMessage, QStringLiteral("Display Message")},
        {action::IfWindow, QStringLiteral("If Window")},
        {action::IfTimeElapsed, QStringLiteral("If Time")},
        {action::IfValue, QStringLiteral("If Var")},
        {action::EndIf, QStringLiteral("End If")},
        {action::StartProgram, QStringLiteral("Start")},
        {action::CloseProgram, QStringLiteral("Close")},
        {action::StartScript, QStringLiteral("Start Script")},
        {action::Dde, QStringLiteral("DDE")},
        {action::DdeOld, QStringLiteral("DDE")},
        {action::FileActions, QStringLiteral("File Actions")},
        {action::SendEmail, QStringLiteral("Send Email")},
        {action::SetValue, QStringLiteral("Set Var")},
    };
    return names;
}

// The page of an action; "Other" for Exit Script and for texts the form does not know.
QString PageNameOf(const QString& action) {
    const auto it = PageNames().find(Clip(action));
    return it == PageNames().end() ? kOther : it->second;
}

QString HelpText(const QString& action) {
    static const std::map<QString, QString> help{
        {action::DisplayMessage, QStringLiteral("This will display a message with a title, and OK button.")},
        {action::StartProgram,
         QStringLiteral(
             "This will start another program.  Enter a program to run in the \"command\" field, or use the "
             "BROWSE button to choose one in a file dialog.  You can also enter the name of a document such "
             "as \"Letter.odt\" or a web address; it opens in the program the desktop uses for it.  "
             "Optionally, you may enter a path in the \"Start In\" field.  When you select a program in step "
             "1, this path is defaulted to the "
             "path in which the program is located.  If you leave this blank, the program you have entered "
             "will be run from the current (Kelvray) folder (directory).")},
        {action::CloseProgram,
         QStringLiteral(
             "Specify a program file by name* (including the full path) or leave the "
             "\"executable\" field blank to close whichever window or application that has "
             "\"focus\" when this script item is executed.  Use with caution.  Usually sending "
             "[AltF4] let's you shut down an application in a safe way.  (* - Every running copy of that "
             "program that you started is ended.)")},
        {action::SendKeystrokes,
         QStringLiteral(
             "Enter the keystrokes you wish to send to the application that currently has "
             "\"focus\".  This would be the program you just started, or another that you "
             "specifically or manually focused on.  To enter special keycodes, use the square "
             "braces (\"[]\") and a keystroke name.  For example \"[AltB]\" would send an Alt-B to "
             "the program with focus.")},
        {action::Dde,
         QStringLiteral("This executes a DDE command of your choice with the application you specify.  Note "
                        "that the application must already be running.  Consult the documentation of the "
                        "application you are communicating for specify topics and commands to use.")},
        {action::SetFocus,
         QStringLiteral(
             "This script action gives the \"focus\" to another application.  Enter one of the "
             "following:  |  (a) The exact title - for example, \"Connect To\" (not case "
             "sensitive).  (b) The first few unique characters followed by an asterisk - for "
             "example: \"Untitled - *\".  (c) An asterisk followed by a phrase to find anywhere in "
             "the window title - for example, \"*Notepad\".    (d) A program name - for "
             "example, \"gedit\".")},
        {action::Wait,
         QStringLiteral(
             "This script action waits for a number of seconds to pass, and/or a window with a "
             "specific title to appear.  Leave blank whichever does not apply.  For the window, "
             "enter:  (a) The exact title - for example, \"Connect To\" (not case sensitive).  (b) "
             "The first few unique characters followed by an asterisk - for example: \"Untitled - "
             "*\".  (c) An asterisk followed by a phrase to find anywhere in the window title. "
             "Example: \"*Notepad\"  (d) A tilde followed by (a), (b), or (c) above to wait for a "
             "window to NOT exist (disappear). ")},
        {action::IfWindow,
         QStringLiteral(
             "The script items you enter between this item and the next \"End If\" item will only "
             "execute if the condition you specify is true.  For the window title, you can enter:  "
             " (a) The exact title - for example, \"Connect To\" (not case sensitive).  (b) The "
             "first few unique characters followed by an asterisk - for example: \"Untitled - *\".  "
             "(c) An asterisk followed by a phrase to find anywhere in the window title. Example: "
             "\"*Notepad\"")},
        {action::IfTimeElapsed,
         QStringLiteral(
             "The script items you enter between this item and the next \"End If\" item will only "
             "execute if the condition you specify is true.  The time elapsed is measured from the "
             "execution of the first script item to this script item, in seconds.")},
        {action::IfValue,
         QStringLiteral(
             "Evaluate a previously set value.  You can compare it to a constant or another value.  "
             "Use square brackets to indicate another value.  Example:  SAVESIZE <> [FILESIZE] or "
             "FILESIZE <> 0.   Note that there are reserved system values TODAY, DATE, TIME, NOW, "
             "FILESIZE, FILEDATE, FILETIME, and FOCUS.")},
        {action::StartScript,
         QStringLiteral(
             "Import and execute a script on-the-fly.  \"Insert\" loads the external script into the "
             "current location, and when the external script has completed, continues with the "
             "current script.  \"Jump\" loads the external script into the current location, and "
             "when the external script has completed, does not continue with the current script.  "
             "\"Append\" loads the external script onto the end of all executing scripts.")},
        {action::SendEmail, QStringLiteral("Send a message via the Internet.")},
        {action::SetValue,
         QStringLiteral(
             "Set a value to a constant or another value.  Use square brackets to indicate another "
             "value.  Example:  Value Name: SAVESIZE, Value: [FILESIZE] or Value Name: DAY, Value: "
             "MONDAY.   Note that there are reserved system values TODAY, DATE, TIME, NOW, "
             "FILESIZE, FILEDATE, FILETIME, and FOCUS.")},
        {action::FileActions,
         QStringLiteral("Perform an action such as copy, move, or delete with files.  A system value is set "
                        "automatically; it contains the result of the operation.  For example Get File Size "
                        "creates or updates a FILESIZE value that can be evaluated with the \"If Value...\" "
                        "script command.")},
    };
    const QString a = Clip(action) == action::DdeOld ? action::Dde : Clip(action);
    const auto it = help.find(a);
    return it == help.end() ? QString() : it->second;
}

QLineEdit* TextField(const QString& name, int maxLength, int visibleChars) {
    auto* e = new QLineEdit;
    e->setObjectName(name);
    e->setMaxLength(maxLength);
    e->setMinimumWidth(e->fontMetrics().averageCharWidth() * visibleChars);
    return e;
}

QSpinBox* NumberField(const QString& name, int digits) {
    auto* s = new QSpinBox;
    s->setObjectName(name);
    int max = 9;
    for (int i = 1; i < digits; ++i)
        max = max * 10 + 9;
    s->setRange(0, max);
    s->setMinimumWidth(s->fontMetrics().averageCharWidth() * (digits + 6));
    return s;
}

// A drop list of fixed choices. A stored value that is not among them is kept and shown
// after them; a blank one takes the first choice, as the list shows it.
QComboBox* ChoiceField(const QString& name, const QStringList& choices) {
    auto* c = new QComboBox;
    c->setObjectName(name);
    c->addItems(choices);
    c->setProperty("choices", static_cast<int>(choices.size()));
    return c;
}

void ShowChoice(QComboBox* c, const QString& value) {
    const int fixed = c->property("choices").toInt();
    while (c->count() > fixed)
        c->removeItem(c->count() - 1);
    const QString v = Clip(value);
    int i = c->findText(v);
    if (i < 0 && !v.isEmpty()) {
        c->addItem(v);
        i = c->count() - 1;
    }
    c->setCurrentIndex(qMax(0, i));
}

QWidget* Row(std::initializer_list<QWidget*> widgets, bool stretch = false) {
    auto* w = new QWidget;
    auto* l = new QHBoxLayout(w);
    l->setContentsMargins(0, 0, 0, 0);
    for (QWidget* x : widgets)
        l->addWidget(x);
    if (stretch)
        l->addStretch();
    return w;
}

QFormLayout* Form(QWidget* page) {
    auto* f = new QFormLayout(page);
    f->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    return f;
}

QLabel* Note(const QString& text) {
    auto* l = new QLabel(text);
    l->setWordWrap(true);
    return l;
}

} // namespace

// --------------------------------------------------------------------------- LiveListBox

LiveListBox::LiveListBox(std::function<QStringList()> source, int maxLength, QWidget* parent)
    : QComboBox(parent)
    , source_(std::move(source)) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    lineEdit()->setMaxLength(maxLength);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(qMin(maxLength, 40));
}

void LiveListBox::rebuild() {
    const QString typed = currentText();
    clear();
    addItems(source_());
    setCurrentIndex(-1);
    setEditText(typed);
}

void LiveListBox::showPopup() {
    rebuild();
    QComboBox::showPopup();
}

QStringList WindowTitles(WindowSystem* windows) {
    QStringList titles;
    if (windows == nullptr)
        return titles;
    WindowMatcher matcher(*windows);
    matcher.rebuildWindowList();
    for (const TopLevelWindow& w : matcher.windowList())
        titles << w.title;
    return titles;
}

QStringList ChildWindowTexts(WindowSystem* windows, const QString& pattern) {
    QStringList texts;
    if (windows == nullptr || Clip(pattern).isEmpty())
        return texts;
    WindowMatcher matcher(*windows);
    const WindowHandle window = matcher.findWindowByPattern(pattern, QString());
    if (window == 0)
        return texts;
    for (const ChildWindow& c : windows->childWindows(window)) {
        const QString t = Clip(c.text.left(40));
        if (!t.isEmpty() && t != QStringLiteral("<>") && !texts.contains(t))
            texts << t;
    }
    return texts;
}

// ------------------------------------------------------------------- UpdateScriptingGetChild

UpdateScriptingGetChild::UpdateScriptingGetChild(ScriptWindowContext& ctx, const QString& text,
                                                 const QString& pattern, const QString& procedure,
                                                 QWidget* parent)
    : QDialog(parent)
    , ctx_(ctx) {
    setObjectName(procedure);
    setWindowTitle(QStringLiteral("Advanced Settings"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        Note(QStringLiteral("Several windows may share a title. The contents of a window (the text of its "
                            "buttons, labels and error messages) can be examined to make sure the right "
                            "window is chosen. The list offers the texts found in the window that the title "
                            "finds now.")));
    auto* prompt = new QLabel(QStringLiteral("Confirm window selection by looking for the text:"));
    text_ = new LiveListBox([this, pattern] { return ChildWindowTexts(ctx_.windows, pattern); }, 40);
    text_->setObjectName(QStringLiteral("childText"));
    text_->setToolTip(QStringLiteral("Contents of window to locate"));
    text_->setEditText(text.left(40));
    prompt->setBuddy(text_);
    layout->addWidget(prompt);
    layout->addWidget(text_);
    auto* warning =
        new QLabel(QStringLiteral("Do not combine this text with a window title that begins with\n"
                                  "\"~\" (waiting for a window to disappear)."));
    layout->addWidget(warning);
    auto* close = new QPushButton(QStringLiteral("Cl&ose"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(close, 0, Qt::AlignRight);
    RestoreWindowPosition(*this, objectName(), ctx_.positions);
}

QString UpdateScriptingGetChild::text() const {
    return text_->currentText().left(40);
}

void UpdateScriptingGetChild::done(int result) {
    SaveWindowPosition(*this, objectName(), ctx_.positions);
    QDialog::done(result);
}

// ------------------------------------------------------------- ScriptingStartProgramAdvanced

const QStringList& ScriptingStartProgramAdvanced::StartTypes() {
    static const QStringList types{QStringLiteral("Open"),   QStringLiteral("View"), QStringLiteral("Print"),
                                   QStringLiteral("Edit"),   QStringLiteral("Play"), QStringLiteral("Find"),
                                   QStringLiteral("Explore")};
    return types;
}

ScriptingStartProgramAdvanced::ScriptingStartProgramAdvanced(ScriptWindowContext& ctx, Scripting& item,
                                                             QWidget* parent)
    : QDialog(parent)
    , ctx_(ctx)
    , item_(item) {
    setObjectName(QStringLiteral("ScriptingStartProgramAdvanced"));
    setWindowTitle(QStringLiteral("Advanced..."));
    const StartOptions options = StartOptions::unpack(item.ddeApplicationName);
    auto* layout = new QVBoxLayout(this);

    auto* waitBox = new QGroupBox;
    auto* waitLayout = new QFormLayout(waitBox);
    wait_ = new QCheckBox(QStringLiteral("Wait For Program End"));
    wait_->setChecked(options.wait);
    waitLayout->addRow(wait_);
    timeout_ = NumberField(QStringLiteral("timeout"), 6);
    timeout_->setValue(item.timeElapsed);
    waitLayout->addRow(QStringLiteral("Time out for wait (seconds):"), timeout_);
    layout->addWidget(waitBox);

    auto radios = [this](const QString& title, const std::vector<std::pair<QString, int>>& choices,
                         QButtonGroup*& group, bool twoColumns) {
        auto* box = new QGroupBox(title);
        auto* grid = new QGridLayout(box);
        group = new QButtonGroup(this);
        int i = 0;
        for (const auto& [text, id] : choices) {
            auto* b = new QRadioButton(text);
            group->addButton(b, id);
            grid->addWidget(b, twoColumns ? i / 2 : i, twoColumns ? i % 2 : 0);
            ++i;
        }
        grid->setRowStretch(grid->rowCount(), 1);
        return box;
    };
    auto* row = new QHBoxLayout;
    row->addWidget(
        radios(QStringLiteral("Process Priority"),
               {{QStringLiteral("Low"), 1}, {QStringLiteral("Normal"), 2}, {QStringLiteral("High"), 3}},
               priorities_, false));
    row->addWidget(radios(QStringLiteral("Window Mode"),
                          {{QStringLiteral("Start and give focus"), 1},
                           {QStringLiteral("Start minimized with focus"), 2},
                           {QStringLiteral("Start maximized with focus"), 3},
                           {QStringLiteral("Start minimized without focus"), 7},
                           {QStringLiteral("Start without focus"), 8}},
                          modes_, false));
    layout->addLayout(row);
    std::vector<std::pair<QString, int>> types;
    for (int i = 0; i < StartTypes().size(); ++i)
        types.emplace_back(StartTypes()[i], i);
    startTypeBox_ = radios(QStringLiteral("Start Type"), types, startTypes_, true);
    layout->addWidget(startTypeBox_);

    priorities_->button(options.priority)->setChecked(true);
    modes_->button(options.windowMode)->setChecked(true);
    int type = 0;
    for (int i = 0; i < StartTypes().size(); ++i) {
        if (StartTypes()[i].compare(Clip(item.ddeApplicationTopic).trimmed(), Qt::CaseInsensitive) == 0)
            type = i;
    }
    startTypes_->button(type)->setChecked(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* ok = new QPushButton(QStringLiteral("&Ok"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &ScriptingStartProgramAdvanced::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(wait_, &QCheckBox::toggled, this, &ScriptingStartProgramAdvanced::updateEnabling);
    updateEnabling();
    RestoreWindowPosition(*this, objectName(), ctx_.positions);
}

void ScriptingStartProgramAdvanced::updateEnabling() {
    timeout_->setEnabled(wait_->isChecked());
    startTypeBox_->setEnabled(!wait_->isChecked());
}

void ScriptingStartProgramAdvanced::accept() {
    StartOptions options;
    options.wait = wait_->isChecked();
    options.priority = priorities_->checkedId();
    options.windowMode = modes_->checkedId();
    item_.ddeApplicationName = options.pack();
    item_.timeElapsed = timeout_->value();
    item_.ddeApplicationTopic = StartTypes().value(startTypes_->checkedId(), StartTypes().first());
    QDialog::accept();
}

void ScriptingStartProgramAdvanced::done(int result) {
    SaveWindowPosition(*this, objectName(), ctx_.positions);
    QDialog::done(result);
}

// ---------------------------------------------------------------------------- SelectMessage

SelectMessage::SelectMessage(ScriptWindowContext& ctx, qint32 current, QWidget* parent)
    : QDialog(parent)
    , ctx_(ctx) {
    setObjectName(QStringLiteral("SelectMessage"));
    setWindowTitle(QStringLiteral("Select Message"));
    auto* layout = new QVBoxLayout(this);
    list_ = new QTableWidget(0, 3, this);
    list_->setHorizontalHeaderLabels(
        {QStringLiteral("Subject"), QStringLiteral("Send to"), QStringLiteral("Type")});
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->verticalHeader()->hide();
    list_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    list_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    layout->addWidget(list_);
    Table<Messages> messages(ctx_.store);
    Messages m;
    messages.set(Messages::KEYEMAILID);
    while (messages.next(m) == Err::None) {
        const int row = list_->rowCount();
        list_->insertRow(row);
        list_->setItem(row, 0, new QTableWidgetItem(Clip(m.subject)));
        list_->setItem(row, 1, new QTableWidgetItem(Clip(m.emailTo)));
        list_->setItem(row, 2, new QTableWidgetItem(Clip(m.mailType)));
        ids_.push_back(m.emailId);
        if (m.emailId == current)
            list_->selectRow(row);
    }
    if (list_->currentRow() < 0 && !ids_.empty())
        list_->selectRow(0);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* select = new QPushButton(QStringLiteral("&Select"));
    select->setDefault(true);
    select->setEnabled(!ids_.empty());
    connect(select, &QPushButton::clicked, this, &QDialog::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(select);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(list_, &QTableWidget::cellDoubleClicked, this, &QDialog::accept);
    resize(560, 300);
    RestoreWindowPosition(*this, objectName(), ctx_.positions);
}

qint32 SelectMessage::emailId() const {
    const int row = list_->currentRow();
    return row >= 0 && row < static_cast<int>(ids_.size()) ? ids_[static_cast<std::size_t>(row)] : 0;
}

void SelectMessage::done(int result) {
    SaveWindowPosition(*this, objectName(), ctx_.positions);
    QDialog::done(result);
}

// --------------------------------------------------------------------------- UpdateScripting

UpdateScripting::UpdateScripting(ScriptWindowContext& ctx, Request request, QWidget* parent)
    : QDialog(parent)
    , ctx_(ctx)
    , request_(request) {
    setObjectName(QStringLiteral("UpdateScripting"));
    setWindowTitle(request == Request::Insert ? QStringLiteral("Adding Scripting")
                                              : QStringLiteral("Changing Scripting"));
    table_ = std::make_unique<Table<Scripting>>(ctx_.store);
    build();
    ditto_ = new Ditto(this);
    TurnTabsWithKeys(this, groups_);
    CancelWhenDestroyedFromOutside(this);
}

UpdateScripting::UpdateScripting(ScriptWindowContext& ctx, qint32 taskId, const Scripting* copyOf,
                                 QWidget* parent)
    : UpdateScripting(ctx, Request::Insert, parent) {
    Scripting primed;
    ready_ = PrimeScriptItem(ctx_.store, taskId, primed);
    if (ready_ && copyOf != nullptr) {
        Scripting copy = *copyOf;
        copy.id = primed.id;
        copy.sequence = primed.sequence;
        copy.meta = primed.meta;
        primed = copy;
    }
    RecordEditor<Scripting>::Options options;
    options.reserved = true;
    editor_ = std::make_unique<RecordEditor<Scripting>>(*table_, request_, primed, options);
    open(primed);
    focusPage();
    RestoreWindowPosition(*this, objectName(), ctx_.positions);
    if (ready_ && primed.id == 0)
        ctx_.dialogs.message(QStringLiteral("Unable to attach script to scheduled item."),
                             QStringLiteral("Internal Error"), Dialogs::Icon::Exclamation);
}

UpdateScripting::UpdateScripting(ScriptWindowContext& ctx, const Scripting& item, QWidget* parent)
    : UpdateScripting(ctx, Request::Change, parent) {
    RecordEditor<Scripting>::Options options;
    options.stamp = [this](Scripting& s) {
        StampScriptItem(s, ctx_.settings.userId, ctx_.clock.today(), ctx_.clock.now());
    };
    editor_ = std::make_unique<RecordEditor<Scripting>>(*table_, request_, item, options);
    open(item);
    focusPage();
    RestoreWindowPosition(*this, objectName(), ctx_.positions);
}

UpdateScripting::~UpdateScripting() = default;

void UpdateScripting::build() {
    auto* layout = new QVBoxLayout(this);
    groups_ = new QTabWidget;
    chooser_ = new QButtonGroup(this);
    const QStringList& actions = ActionCatalogue();
    for (int g = 0; g < 4; ++g) {
        auto* tab = new QWidget;
        auto* grid = new QGridLayout(tab);
        for (int i = 0; i < kActionsPerGroup; ++i) {
            const int id = g * kActionsPerGroup + i;
            auto* b = new QRadioButton(actions[id]);
            chooser_->addButton(b, id);
            grid->addWidget(b, i % 2, i / 2);
        }
        grid->setColumnStretch(2, 1);
        groups_->addTab(tab, QString::fromLatin1(kGroups[g]));
    }
    connect(chooser_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked && !loading_)
            chooseAction(ActionCatalogue()[id]);
    });
    layout->addWidget(groups_);

    frame_ = new QGroupBox;
    auto* frameLayout = new QVBoxLayout(frame_);
    stack_ = new QStackedWidget;
    frameLayout->addWidget(stack_);
    layout->addWidget(frame_, 1);
    blank_ = new QWidget;
    stack_->addWidget(blank_);
    buildPages();
    connect(groups_, &QTabWidget::currentChanged, this, [this] {
        if (current_ >= 0)
            showGroupPage();
    });

    help_ = new QPlainTextEdit;
    help_->setObjectName(QStringLiteral("help"));
    help_->setReadOnly(true);
    help_->setTabChangesFocus(true);
    help_->setFocusPolicy(Qt::ClickFocus);
    help_->setFixedHeight(help_->fontMetrics().lineSpacing() * 6 + 12);
    layout->addWidget(help_);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* ok = new QPushButton(QStringLiteral("&OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &UpdateScripting::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    connect(cancel, &QPushButton::clicked, this, &UpdateScripting::reject);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
}

UpdateScripting::Page& UpdateScripting::addPage(const QString& name) {
    auto* w = new QWidget;
    w->setObjectName(name);
    stack_->addWidget(w);
    pages_.push_back(Page{name, w, {}});
    return pages_.back();
}

QWidget* UpdateScripting::fileField(QLineEdit* field, const QString& filter) {
    auto* button = new QToolButton;
    button->setText(QStringLiteral("..."));
    button->setToolTip(QStringLiteral("Choose a File"));
    connect(button, &QToolButton::clicked, this, [this, field, filter] {
        const QString file = ctx_.files.openFile(QStringLiteral("Choose a File"), filter,
                                                 QFileInfo(Clip(field->text())).path());
        if (!file.isEmpty())
            field->setText(file);
    });
    return Row({field, button});
}

void UpdateScripting::buildPages() {
    using S = Scripting;
    auto text = [](QLineEdit* e, QString S::*f) {
        return Binding{[e, f](const S& s) {
                           e->setText(s.*f);
                           e->setCursorPosition(0);
                       },
                       [e, f](S& s) { s.*f = e->text(); }};
    };
    auto number = [](QSpinBox* e, qint32 S::*f) {
        return Binding{[e, f](const S& s) { e->setValue(s.*f); }, [e, f](S& s) { s.*f = e->value(); }};
    };
    auto choice = [](QComboBox* c, QString S::*f) {
        return Binding{[c, f](const S& s) { ShowChoice(c, s.*f); },
                       [c, f](S& s) { s.*f = c->currentText(); }};
    };
    auto live = [](LiveListBox* c, QString S::*f) {
        return Binding{[c, f](const S& s) { c->setEditText(s.*f); },
                       [c, f](S& s) { s.*f = c->currentText(); }};
    };
    auto windowBox = [this](const QString& name) {
        auto* box = new LiveListBox([this] { return WindowTitles(ctx_.windows); }, 255);
        box->setObjectName(name);
        box->rebuild();
        return box;
    };
    auto advanced = [this](const QString& label) {
        auto* b = new QPushButton(label);
        b->setObjectName(QStringLiteral("advanced"));
        connect(b, &QPushButton::clicked, this, &UpdateScripting::openChildText);
        return b;
    };
    // Two radio buttons that store one of two texts.
    auto pair = [](QButtonGroup* g, const QString& first, const QString& second, QString S::*f) {
        return Binding{
            [g, first, f](const S& s) { g->button(Clip(s.*f) == first ? 0 : 1)->setChecked(true); },
            [g, first, second, f](S& s) { s.*f = g->checkedId() == 0 ? first : second; }};
    };
    // A row of radio buttons, framed under a title when there is one.
    auto radioBox = [this](const QString& title, const QStringList& labels, QButtonGroup*& group) {
        QWidget* box = title.isEmpty() ? new QWidget : new QGroupBox(title);
        auto* l = new QHBoxLayout(box);
        if (title.isEmpty())
            l->setContentsMargins(0, 0, 0, 0);
        group = new QButtonGroup(this);
        for (int i = 0; i < labels.size(); ++i) {
            auto* b = new QRadioButton(labels[i]);
            group->addButton(b, i);
            l->addWidget(b);
        }
        l->addStretch();
        return box;
    };

    { // Keys
        Page& p = addPage(QStringLiteral("Keys"));
        auto* f = Form(p.widget);
        auto* keys = TextField(QStringLiteral("keystrokes"), 255, 80);
        f->addRow(QStringLiteral("&Keystrokes:"), keys);
        auto* list = new QPushButton(QStringLiteral("View List of Abbreviations"));
        connect(list, &QPushButton::clicked, this, &UpdateScripting::viewKeys);
        f->addRow(QString(), Row({list}, true));
        p.bindings = {text(keys, &S::keystrokes)};
    }
    { // Wait
        Page& p = addPage(QStringLiteral("Wait"));
        auto* f = Form(p.widget);
        auto* seconds = NumberField(QStringLiteral("secondsToWait"), 5);
        f->addRow(QStringLiteral("&Seconds To Wait Before Next Script Item Executes:"), Row({seconds}, true));
        QButtonGroup* andOr = nullptr;
        f->addRow(QString(), radioBox(QString(), {kAnd, kOr}, andOr));
        andOr->button(0)->setObjectName(QStringLiteral("and"));
        andOr->button(1)->setObjectName(QStringLiteral("or"));
        auto* window = windowBox(QStringLiteral("waitForWindow"));
        f->addRow(QStringLiteral("Wait For Window:"), window);
        f->addRow(QString(), Row({advanced(QStringLiteral("Advanced"))}, true));
        p.bindings = {
            number(seconds, &S::secondsToWait), live(window, &S::waitForWindow),
            Binding{[this, andOr](const S&) { andOr->button(andOr_ == kOr ? 1 : 0)->setChecked(true); },
                    [this, andOr](S&) { andOr_ = andOr->checkedId() == 1 ? kOr : kAnd; }}};
    }
    { // Focus
        Page& p = addPage(QStringLiteral("Focus"));
        auto* f = Form(p.widget);
        auto* window = windowBox(QStringLiteral("focusOnWindow"));
        f->addRow(QStringLiteral("Foc&us On Window:"), window);
        f->addRow(QString(), Row({advanced(QStringLiteral("Advanced"))}, true));
        p.bindings = {live(window, &S::focusOnWindow)};
    }
    { // DDE
        Page& p = addPage(QStringLiteral("DDE"));
        auto* f = Form(p.widget);
        auto* name = TextField(QStringLiteral("ddeApplicationName"), 80, 50);
        auto* topic = TextField(QStringLiteral("ddeApplicationTopic"), 80, 50);
        auto* command = TextField(QStringLiteral("ddeCommand"), 80, 50);
        f->addRow(QStringLiteral("DDE &Application Name:"), name);
        f->addRow(QStringLiteral("DDE A&pplication Topic:"), topic);
        f->addRow(QStringLiteral("DDE &Command:"), command);
        p.bindings = {text(name, &S::ddeApplicationName), text(topic, &S::ddeApplicationTopic),
                      text(command, &S::ddeCommand)};
    }
    { // If Window
        Page& p = addPage(QStringLiteral("If Window"));
        auto* f = Form(p.widget);
        QButtonGroup* condition = nullptr;
        f->addRow(radioBox(QStringLiteral("Condition"),
                           {QStringLiteral("Window Exists"), QStringLiteral("Window Doesn't Exist")},
                           condition));
        auto* window = windowBox(QStringLiteral("windowTitleToCheckFor"));
        f->addRow(QStringLiteral("Window Title To Check For:"), window);
        f->addRow(QString(), Row({advanced(QStringLiteral("Advanced"))}, true));
        p.bindings = {pair(condition, QStringLiteral("Window Exists"), QStringLiteral("Window Doesn't Exist"),
                           &S::windowExistance),
                      live(window, &S::windowTitleToCheckFor)};
    }
    { // If Time
        Page& p = addPage(QStringLiteral("If Time"));
        auto* f = Form(p.widget);
        QButtonGroup* condition = nullptr;
        f->addRow(radioBox(
            QStringLiteral("Condition"),
            {QStringLiteral("Time Elapsed is Greater Than"), QStringLiteral("Time Elapsed is Less Than")},
            condition));
        auto* seconds = NumberField(QStringLiteral("timeElapsed"), 9);
        f->addRow(QStringLiteral("Time (seconds):"), Row({seconds}, true));
        p.bindings = {
            pair(condition, QStringLiteral("Greater Than"), QStringLiteral("Less Than"), &S::ifTimeElapsed),
            number(seconds, &S::timeElapsed)};
    }
    { // If Var
        Page& p = addPage(QStringLiteral("If Var"));
        auto* f = Form(p.widget);
        auto* name = TextField(QStringLiteral("valueName"), 255, 32);
        auto* comparison = ChoiceField(QStringLiteral("comparison"), kComparisons);
        auto* operand = TextField(QStringLiteral("compareTo"), 255, 50);
        f->addRow(QStringLiteral("Value Name:"), name);
        f->addRow(QStringLiteral("Comparison:"), Row({comparison}, true));
        f->addRow(QStringLiteral("Compare to:"), operand);
        p.bindings = {text(name, &S::command), choice(comparison, &S::windowTitleToCheckFor),
                      text(operand, &S::waitForWindow)};
    }
    { // Set Var
        Page& p = addPage(QStringLiteral("Set Var"));
        auto* f = Form(p.widget);
        auto* name = TextField(QStringLiteral("valueName"), 255, 32);
        auto* value = TextField(QStringLiteral("value"), 255, 50);
        f->addRow(QStringLiteral("Value Name:"), name);
        f->addRow(QStringLiteral("Value:"), value);
        p.bindings = {text(name, &S::path), text(value, &S::command)};
    }
    { // Start Script
        Page& p = addPage(QStringLiteral("Start Script"));
        auto* f = Form(p.widget);
        auto* script = TextField(QStringLiteral("script"), 255, 50);
        auto* type = ChoiceField(QStringLiteral("loadType"), kLoadTypes);
        f->addRow(QStringLiteral("Script:"), fileField(script, QStringLiteral("KR Script Files|*.krs")));
        f->addRow(QStringLiteral("Type:"), Row({type}, true));
        p.bindings = {text(script, &S::command), choice(type, &S::path)};
    }
    { // Send Email
        Page& p = addPage(QStringLiteral("Send Email"));
        auto* f = Form(p.widget);
        auto* select = new QPushButton(QStringLiteral("Select &Message"));
        connect(select, &QPushButton::clicked, this, &UpdateScripting::selectMessage);
        f->addRow(QString(), Row({select}, true));
        emailTo_ = TextField(QStringLiteral("emailTo"), 255, 50);
        emailTo_->setReadOnly(true);
        emailTo_->setToolTip(QStringLiteral("Recipient (Email Address)"));
        subject_ = TextField(QStringLiteral("subject"), 255, 50);
        subject_->setReadOnly(true);
        f->addRow(QStringLiteral("Send to:"), emailTo_);
        f->addRow(QStringLiteral("Subject:"), subject_);
        p.bindings = {
            Binding{[this](const S& s) { showEmail(s.emailId); }, [this](S& s) { s.emailId = emailId_; }}};
    }
    { // File Actions
        Page& p = addPage(QStringLiteral("File Actions"));
        auto* f = Form(p.widget);
        auto* type = ChoiceField(QStringLiteral("fileAction"), kFileActions);
        auto* first = TextField(QStringLiteral("parameter1"), 255, 50);
        auto* second = TextField(QStringLiteral("parameter2"), 255, 50);
        const QString all = QStringLiteral("All Files|*.*");
        f->addRow(QStringLiteral("File Action:"), Row({type}, true));
        f->addRow(QStringLiteral("Parameter 1:"), fileField(first, all));
        f->addRow(QStringLiteral("Parameter 2:"), fileField(second, all));
        p.bindings = {choice(type, &S::ddeType), text(first, &S::command), text(second, &S::path)};
    }
    { // End If
        Page& p = addPage(QStringLiteral("End If"));
        Form(p.widget)->addRow(Note(kNoInformation));
    }
    { // Start
        Page& p = addPage(QStringLiteral("Start"));
        auto* f = Form(p.widget);
        command_ = TextField(QStringLiteral("command"), 255, 50);
        auto* browse = new QPushButton(QStringLiteral("&Browse"));
        connect(browse, &QPushButton::clicked, this, &UpdateScripting::browseProgram);
        startIn_ = TextField(QStringLiteral("startIn"), 255, 50);
        auto* options = new QPushButton(QStringLiteral("&Advanced"));
        options->setObjectName(QStringLiteral("advanced"));
        connect(options, &QPushButton::clicked, this, &UpdateScripting::openStartOptions);
        f->addRow(QStringLiteral("Comma&nd:"), Row({command_, browse}));
        f->addRow(QStringLiteral("Start &in:"), startIn_);
        f->addRow(QString(), Row({options}, true));
        p.bindings = {text(command_, &S::command), text(startIn_, &S::path)};
    }
    { // Display Message
        Page& p = addPage(QStringLiteral("Display Message"));
        auto* f = Form(p.widget);
        auto* title = TextField(QStringLiteral("messageTitle"), 80, 50);
        auto* message = TextField(QStringLiteral("message"), 80, 50);
        f->addRow(QStringLiteral("Message Title:"), title);
        f->addRow(QStringLiteral("Message:"), message);
        p.bindings = {Binding{[this, title](const S&) { title->setText(messageTitle_); },
                              [this, title](S&) { messageTitle_ = title->text(); }},
                      Binding{[this, message](const S&) { message->setText(messageText_); },
                              [this, message](S&) { messageText_ = message->text(); }}};
    }
    { // Close
        Page& p = addPage(QStringLiteral("Close"));
        auto* f = Form(p.widget);
        close_ = TextField(QStringLiteral("executable"), 255, 50);
        auto* browse = new QPushButton(QStringLiteral("&Browse"));
        connect(browse, &QPushButton::clicked, this, &UpdateScripting::browseProgram);
        f->addRow(QStringLiteral("Execu&table:"), Row({close_, browse}));
        p.bindings = {text(close_, &S::command)};
    }
    { // Other
        Page& p = addPage(kOther);
        Form(p.widget)->addRow(Note(kNoInformation));
    }
}

UpdateScripting::Page* UpdateScripting::pageFor(const QString& action) {
    const QString name = PageNameOf(action);
    for (Page& p : pages_) {
        if (p.name == name)
            return &p;
    }
    return nullptr;
}

QString UpdateScripting::action() const {
    return Clip(record_.action);
}

QString UpdateScripting::pageName() const {
    return current_ >= 0 ? pages_[static_cast<std::size_t>(current_)].name : QString();
}

QAbstractButton* UpdateScripting::actionButton(const QString& action) const {
    return chooser_->button(static_cast<int>(ActionCatalogue().indexOf(Clip(action))));
}

void UpdateScripting::open(const Scripting& item) {
    loading_ = true;
    record_ = item;
    andOr_ = kAnd;
    messageTitle_.clear();
    messageText_.clear();
    other_.clear();
    const QString a = Clip(item.action);
    if (a == action::Wait && Clip(item.ddeApplicationName.left(3)).compare(kOr, Qt::CaseInsensitive) == 0)
        andOr_ = kOr;
    if (a == action::DisplayMessage) {
        messageText_ = item.ddeApplicationName;
        messageTitle_ = item.ddeApplicationTopic;
    }
    current_ = -1;
    applyAction();
    loading_ = false;
}

void UpdateScripting::chooseAction(const QString& chosen) {
    storePage();
    record_.action = chosen;
    const bool wasLoading = loading_;
    loading_ = true;
    applyAction();
    loading_ = wasLoading;
}

void UpdateScripting::applyAction() {
    const QString a = Clip(record_.action);
    if (a == action::ExitScript) {
        other_ = a;
        record_.action = kOther;
    } else if (PageNameOf(a) == kOther && (Clip(other_).isEmpty() || Clip(other_) == kOther)) {
        other_ = a;
    }
    Page* page = pageFor(action());
    current_ = static_cast<int>(page - pages_.data());
    const QString shown = page->name == kOther ? Clip(other_) : action();

    // The chooser shows the action; the older DDE text as DDE, a text it does not know not at all.
    QAbstractButton* b = actionButton(shown == action::DdeOld ? action::Dde : shown);
    if (b != nullptr) {
        b->setChecked(true);
        groups_->setCurrentIndex(chooser_->id(b) / kActionsPerGroup);
    } else if (QAbstractButton* checked = chooser_->checkedButton()) {
        chooser_->setExclusive(false);
        checked->setChecked(false);
        chooser_->setExclusive(true);
    }
    showGroupPage();
    loadPage();
}

void UpdateScripting::showGroupPage() {
    QAbstractButton* checked = chooser_->checkedButton();
    if (checked != nullptr && chooser_->id(checked) / kActionsPerGroup != groups_->currentIndex()) {
        stack_->setCurrentWidget(blank_);
        frame_->setTitle(QString());
        help_->clear();
        return;
    }
    const Page& page = pages_[static_cast<std::size_t>(current_)];
    const QString shown = page.name == kOther ? Clip(other_) : action();
    stack_->setCurrentWidget(page.widget);
    frame_->setTitle(shown);
    help_->setPlainText(HelpText(shown));
}

void UpdateScripting::focusPage() {
    for (QWidget* w : pages_[static_cast<std::size_t>(current_)].widget->findChildren<QWidget*>()) {
        if ((w->focusPolicy() & Qt::TabFocus) != 0 && w->isEnabled()) {
            w->setFocus();
            return;
        }
    }
}

void UpdateScripting::storePage() {
    if (current_ < 0)
        return;
    for (const Binding& b : pages_[static_cast<std::size_t>(current_)].bindings)
        b.store(record_);
}

void UpdateScripting::loadPage() {
    if (current_ < 0)
        return;
    for (const Binding& b : pages_[static_cast<std::size_t>(current_)].bindings)
        b.load(record_);
}

void UpdateScripting::showEmail(qint32 emailId) {
    emailId_ = emailId;
    Messages m;
    m.emailId = emailId;
    Table<Messages> messages(ctx_.store);
    const bool found = emailId != 0 && messages.get(Messages::KEYEMAILID, m) == Err::None;
    emailTo_->setText(found ? Clip(m.emailTo) : QString());
    subject_->setText(found ? Clip(m.subject) : QString());
    emailTo_->setCursorPosition(0);
    subject_->setCursorPosition(0);
}

// ------------------------------------------------------------------------------- buttons

void UpdateScripting::browseProgram() {
    storePage();
    // The dialog starts in the folder the program is to start in.
    const QString file =
        ctx_.files.openFile(QStringLiteral("Select a Program"), kProgramFilter, Clip(record_.path));
    if (!file.isEmpty()) {
        record_.command = file;
        if (Clip(record_.path).isEmpty())
            record_.path = QFileInfo(file).path();
    }
    loadPage();
}

void UpdateScripting::openChildText() {
    storePage();
    if (pageName() == QStringLiteral("Focus")) {
        const QString before = record_.waitForWindow.left(40);
        UpdateScriptingGetChildFocus window(ctx_, before, record_.focusOnWindow, this);
        window.exec();
        if (window.text() != before)
            record_.waitForWindow = window.text();
    } else {
        const QString pattern =
            pageName() == QStringLiteral("Wait") ? record_.waitForWindow : record_.windowTitleToCheckFor;
        const QString before = record_.focusOnWindow.left(40);
        UpdateScriptingGetChild window(ctx_, before, pattern, this);
        window.exec();
        if (window.text() != before)
            record_.focusOnWindow = window.text();
    }
    loadPage();
}

void UpdateScripting::openStartOptions() {
    storePage();
    ScriptingStartProgramAdvanced window(ctx_, record_, this);
    window.exec();
    loadPage();
}

void UpdateScripting::selectMessage() {
    if (ctx_.pickMessage) {
        if (const qint32 id = ctx_.pickMessage(emailId_, this); id != 0)
            showEmail(id);
        return;
    }
    SelectMessage window(ctx_, emailId_, this);
    if (window.exec() == QDialog::Accepted && window.emailId() != 0)
        showEmail(window.emailId());
}

void UpdateScripting::viewKeys() {
    auto* viewer =
        new TextViewer({QStringLiteral("List of Key Abbreviations"), QStringLiteral("ViewScriptKeys"), false},
                       ctx_.keyCodesFile, ctx_.dialogs, ctx_.positions, this);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->show();
    viewer->open();
}

// -------------------------------------------------------------------------------- saving

void UpdateScripting::accept() {
    if (!ready_)
        return;
    storePage();
    Scripting r = record_;
    const QString a = action();
    if (a == action::Wait) {
        r.ddeApplicationName = andOr_;
    } else if (a == action::DisplayMessage) {
        r.ddeApplicationName = messageText_;
        r.ddeApplicationTopic = messageTitle_;
    } else if (a == kOther) {
        r.action = other_;
        if (Clip(r.action) == kOther)
            ctx_.dialogs.message(QStringLiteral("\"Other\" script item not recorded correctly.  Re-enter."),
                                 QStringLiteral("Error"), Dialogs::Icon::Exclamation);
    }
    StampScriptItem(r, ctx_.settings.userId, ctx_.clock.today(), ctx_.clock.now());
    switch (editor_->save(r)) {
    case EditOutcome::Saved:
        record_ = r;
        QDialog::accept();
        return;
    case EditOutcome::Unsaved:
        QDialog::reject();
        return;
    case EditOutcome::StayFirstField:
        focusPage();
        return;
    case EditOutcome::Stay:
        return;
    case EditOutcome::Redisplay:
        // The other station's version; what the user typed stays at hand (Ctrl+').
        ditto_->remember();
        open(r);
        return;
    }
}

void UpdateScripting::reject() {
    if (request_ == Request::Insert && ready_)
        editor_->cancel(record_);
    QDialog::reject();
}

void UpdateScripting::done(int result) {
    SaveWindowPosition(*this, objectName(), ctx_.positions);
    QDialog::done(result);
}

} // namespace kr
