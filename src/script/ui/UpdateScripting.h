#pragma once

// The form for one script item (UpdateScripting) and its small windows: the confirming text
// of a window (UpdateScriptingGetChild, UpdateScriptingGetChildFocus), the options of a
// program start (ScriptingStartProgramAdvanced) and the choice of a stored message.
//
// Several actions keep their data in fields named for other purposes; each page of the form
// reads and writes exactly the fields the script runner reads for its action.

#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/Dialogs.h"
#include "platform/FileDialogs.h"
#include "platform/IniFile.h"
#include "platform/Progress.h"
#include "store/RecordChanges.h"
#include "store/Settings.h"
#include "store/Store.h"
#include "store/Tables.h"

#include <QComboBox>
#include <QDialog>

#include <functional>
#include <memory>
#include <vector>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;
class QStackedWidget;
class QTabWidget;
class QTableWidget;

class QPrinter;

namespace kr {

class Ditto;

struct ScriptWindowContext {
    Store& store;
    Dialogs& dialogs;
    FileDialogs& files;
    ProgressWindows progress; // a window of its own for each import, export, clear and printout
    const Clock& clock;
    const Settings& settings; // UserID for the station stamps
    IniFile positions;        // POSITION.INI
    // The desktop's windows for the window lists; none without a display.
    WindowSystem* windows = nullptr;
    // The list of key names the Keys page shows.
    QString keyCodesFile = QStringLiteral("KEYCODES.TXT");
    // The program's printer (Print Setup); a printer of its own when none is given.
    QPrinter* printer = nullptr;
    // "Select &Message": picks from the Email Messages list (the number, or 0); without it a
    // plain list of the messages is offered.
    std::function<qint32(qint32, QWidget*)> pickMessage = {};
};

// An entry with a drop list that is filled afresh each time it drops down.
class LiveListBox final : public QComboBox {
    Q_OBJECT
public:
    LiveListBox(std::function<QStringList()> source, int maxLength, QWidget* parent = nullptr);
    // Refills the list, keeping the text typed.
    void rebuild();
    void showPopup() override;

private:
    std::function<QStringList()> source_;
};

// The titles of the desktop's top-level windows, front-most first.
QStringList WindowTitles(WindowSystem* windows);
// The texts of the child windows of the window the pattern finds, cut to 40 characters.
QStringList ChildWindowTexts(WindowSystem* windows, const QString& pattern);

// "Advanced Settings": the text that confirms the window chosen by its title.
class UpdateScriptingGetChild : public QDialog {
    Q_OBJECT
public:
    UpdateScriptingGetChild(ScriptWindowContext& ctx, const QString& text, const QString& pattern,
                            QWidget* parent = nullptr)
        : UpdateScriptingGetChild(ctx, text, pattern, QStringLiteral("UpdateScriptingGetChild"), parent) {}
    QString text() const;
    LiveListBox* textField() const { return text_; }
    void done(int result) override;

protected:
    UpdateScriptingGetChild(ScriptWindowContext& ctx, const QString& text, const QString& pattern,
                            const QString& procedure, QWidget* parent);

private:
    ScriptWindowContext& ctx_;
    LiveListBox* text_ = nullptr;
};

// The same window for Set Focus, with a position of its own.
class UpdateScriptingGetChildFocus final : public UpdateScriptingGetChild {
    Q_OBJECT
public:
    UpdateScriptingGetChildFocus(ScriptWindowContext& ctx, const QString& text, const QString& pattern,
                                 QWidget* parent = nullptr)
        : UpdateScriptingGetChild(ctx, text, pattern, QStringLiteral("UpdateScriptingGetChildFocus"),
                                  parent) {}
};

// "Advanced...": the packed start options, the time-out and the start type of Start Program.
class ScriptingStartProgramAdvanced final : public QDialog {
    Q_OBJECT
public:
    ScriptingStartProgramAdvanced(ScriptWindowContext& ctx, Scripting& item, QWidget* parent = nullptr);

    QCheckBox* waitBox() const { return wait_; }
    QSpinBox* timeoutField() const { return timeout_; }
    QButtonGroup* priorities() const { return priorities_; } // ids 1 to 3
    QButtonGroup* windowModes() const { return modes_; }     // ids are the mode codes
    QButtonGroup* startTypes() const { return startTypes_; } // ids index StartTypes()
    QGroupBox* startTypeGroup() const { return startTypeBox_; }
    static const QStringList& StartTypes();

    void accept() override;
    void done(int result) override;

private:
    void updateEnabling();

    ScriptWindowContext& ctx_;
    Scripting& item_;
    QCheckBox* wait_ = nullptr;
    QSpinBox* timeout_ = nullptr;
    QButtonGroup* priorities_ = nullptr;
    QButtonGroup* modes_ = nullptr;
    QButtonGroup* startTypes_ = nullptr;
    QGroupBox* startTypeBox_ = nullptr;
};

// The stored messages to choose the one a Send Email item sends.
class SelectMessage final : public QDialog {
    Q_OBJECT
public:
    SelectMessage(ScriptWindowContext& ctx, qint32 current, QWidget* parent = nullptr);
    QTableWidget* list() const { return list_; }
    // The chosen message's number, 0 when there is none.
    qint32 emailId() const;
    void done(int result) override;

private:
    ScriptWindowContext& ctx_;
    QTableWidget* list_ = nullptr;
    std::vector<qint32> ids_;
};

class UpdateScripting final : public QDialog {
    Q_OBJECT
public:
    // A new item of the task, with the defaults or with every field of `copyOf`; it is added
    // at once at the end of the script and deleted again on Cancel.
    UpdateScripting(ScriptWindowContext& ctx, qint32 taskId, const Scripting* copyOf = nullptr,
                    QWidget* parent = nullptr);
    // A change of the item as loaded (watched for other stations' changes).
    UpdateScripting(ScriptWindowContext& ctx, const Scripting& item, QWidget* parent = nullptr);
    ~UpdateScripting() override;

    // False when a new item could not be added, and the form should not be shown.
    bool ready() const { return ready_; }
    Request request() const { return request_; }
    // The item as stored (after OK) or as the form opened it.
    const Scripting& item() const { return record_; }

    // The action the form holds ("Other" while the Other page stands for Exit Script), and
    // the chooser's way to change it.
    QString action() const;
    void chooseAction(const QString& action);
    QAbstractButton* actionButton(const QString& action) const;
    QTabWidget* groups() const { return groups_; }
    // The page of the action: "Keys", "Wait", "Focus", "DDE", "If Window", "If Time", "If Var",
    // "Set Var", "Start Script", "Send Email", "File Actions", "End If", "Start",
    // "Display Message", "Close" or "Other".
    QString pageName() const;
    // It is shown while the group turned to holds the chosen action, or while the chooser shows
    // none (an action it does not know); another group shows an empty frame.
    QGroupBox* pageFrame() const { return frame_; }
    QPlainTextEdit* helpBox() const { return help_; }
    Ditto* ditto() const { return ditto_; }

    // The buttons' work.
    void browseProgram();
    void openChildText();
    void openStartOptions();
    void selectMessage();
    void viewKeys();

    void accept() override;
    void reject() override;
    void done(int result) override;

private:
    struct Binding {
        std::function<void(const Scripting&)> load;
        std::function<void(Scripting&)> store;
    };
    struct Page {
        QString name;
        QWidget* widget = nullptr;
        std::vector<Binding> bindings;
    };

    UpdateScripting(ScriptWindowContext& ctx, Request request, QWidget* parent);
    void build();
    void buildPages();
    Page& addPage(const QString& name);
    QWidget* fileField(QLineEdit* field, const QString& filter);
    void open(const Scripting& item);
    void applyAction();
    void showGroupPage();
    void storePage();
    void loadPage();
    // The first field of the page shown takes the focus.
    void focusPage();
    Page* pageFor(const QString& action);
    void showEmail(qint32 emailId);

    ScriptWindowContext& ctx_;
    Request request_;
    Scripting record_;
    bool ready_ = true;
    bool loading_ = false;
    std::unique_ptr<Table<Scripting>> table_;
    std::unique_ptr<RecordEditor<Scripting>> editor_;
    Ditto* ditto_ = nullptr;

    // The editor's own copies of fields the record keeps under other names.
    QString andOr_;
    QString messageTitle_;
    QString messageText_;
    QString other_;
    qint32 emailId_ = 0;

    std::vector<Page> pages_;
    int current_ = -1;
    QTabWidget* groups_ = nullptr;
    QButtonGroup* chooser_ = nullptr;
    QGroupBox* frame_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QWidget* blank_ = nullptr; // the frame of a group without the chosen action
    QPlainTextEdit* help_ = nullptr;
    QLineEdit* command_ = nullptr; // Start Program's
    QLineEdit* close_ = nullptr;   // Close Program's
    QLineEdit* startIn_ = nullptr;
    QLineEdit* emailTo_ = nullptr;
    QLineEdit* subject_ = nullptr;
};

} // namespace kr
