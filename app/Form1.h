#pragma once

#include <QCursor>
#include <QHash>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

#include "Form1Environment.h"
#include "options/HeaderFooterChoices.h"

class QDragMoveEvent;
class QDropEvent;
class QKeyEvent;
class QMouseEvent;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace trelwick {

class Dialogs;
class OptionsPanel;
class OutputFolderFrame;
class PowerPointFactory;
class SettingsStore;

// The program's only window. Controls keep their form names; handlers are named after the
// control and the event. Work that belongs to the file list, the sample files and the batch run
// is reached through `seams`, which those parts fill in; an unset seam does nothing.
class Form1 : public QWidget {
    Q_OBJECT
  public:
    // The window's pointer setting.
    enum class Pointer { Default, Custom, Hourglass };

    // Handlers wired in by the file list, the sample files and the batch run.
    struct Seams {
        std::function<void()> RecordSampleFiles;
        std::function<void()> PushButton1_Click;  // "Clear List"
        std::function<void()> PushButton3_Click;  // "Add PowerPoint File(s)"
        std::function<void()> PushButton4_Click;  // "Load Sample/Example Files"
        std::function<void()> PushButton6_Click;  // "Add All File(s) In Folder"
        std::function<void()> PushButton7_Click;  // "Start Adding"
        std::function<void()> FinishHandedSaves;  // before a close ends the program during a run
        std::function<void(QMouseEvent*)> ListView1_MouseDown;
        std::function<void(QMouseEvent*)> ListView1_MouseMove;  // after Form1 set the default pointer
        std::function<void(QMouseEvent*)> ListView1_MouseUp;
        std::function<void(QTreeWidgetItem*)> ListView1_ItemClick;
        std::function<void(QKeyEvent*)> ListView1_KeyDown;
        std::function<void()> ListView1_DblClick;
        std::function<void(QDragMoveEvent*)> ListView1_OLEDragOver;  // unset: every drag is refused
        std::function<void(QDropEvent*)> ListView1_OLEDragDrop;
    };

    Form1(Dialogs& dialogs, SettingsStore& settings, PowerPointFactory& powerPoint,
          Form1Environment environment, QWidget* parent = nullptr);

    // The start-up sequence, steps 100 to 168; false when the program must end (no PowerPoint).
    bool Form_Load();
    // Ends the program at once: leaves the event loop, or, when the close arrived while a handler
    // was still running (a batch run, a folder walk), ends the process there. Nothing is saved here.
    void Form_Unload();
    // "Help": one message with the contact page.
    void PushButton2_Click();

    void PushButton1_Click();
    void PushButton3_Click();
    void PushButton4_Click();
    void PushButton5_Click();
    void PushButton6_Click();
    void PushButton7_Click();
    void RecordSampleFiles();
    void ListView1_MouseDown(QMouseEvent* event);
    void ListView1_MouseMove(QMouseEvent* event);
    void ListView1_MouseUp(QMouseEvent* event);
    void ListView1_ItemClick(QTreeWidgetItem* item);
    void ListView1_KeyDown(QKeyEvent* event);
    void ListView1_DblClick();
    void ListView1_OLEDragOver(QDragMoveEvent* event);
    void ListView1_OLEDragDrop(QDropEvent* event);

    // The pointer setting; Hourglass is the busy state.
    Pointer mousePointer() const { return pointer_; }
    void setMousePointer(Pointer pointer);
    bool isBusy() const { return pointer_ == Pointer::Hourglass; }
    // True once the hand pointer's picture was loaded from HAND-M.CUR.
    bool hasHandPicture() const { return handCursor_.has_value(); }
    const QCursor& handCursor() const;
    // True from Form_Unload on. The program then ends through the environment (at once when a handler
    // is running), so nothing polls this; it says that the window is going.
    bool isUnloading() const { return unloading_; }
    // Runs a wired handler (a seam, or one the file list calls itself, such as its drop): closing the
    // window while it runs ends the program at once, and a failure that escapes it is reported under
    // procedure.
    void runSeam(const char* procedure, const std::function<void()>& seam);

    // The title every message box without its own title shows ("Trelwick").
    QString applicationTitle() const { return applicationTitle_; }
    // The options as the controls hold them now, for the batch run.
    HeaderFooterChoices currentChoices() const;
    // The output folder text as Text6 holds it now.
    QString outputFolder() const;

    Dialogs& dialogs() const { return dialogs_; }
    SettingsStore& settings() const { return settings_; }
    PowerPointFactory& powerPoint() const { return powerPoint_; }
    const Form1Environment& environment() const { return environment_; }

    Seams seams;

    QPushButton* PushButton1 = nullptr;
    QPushButton* PushButton2 = nullptr;
    QPushButton* PushButton3 = nullptr;
    QPushButton* PushButton4 = nullptr;
    QPushButton* PushButton5 = nullptr;
    QPushButton* PushButton6 = nullptr;
    QPushButton* PushButton7 = nullptr;
    QTreeWidget* ListView1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    OptionsPanel* SSTab1 = nullptr;
    OutputFolderFrame* Frame3 = nullptr;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    enum class PointerRule { Default, Custom, ListView, None };

    void build();
    void setTabOrderAsDesigned();
    void registerPointerRules();
    void watch(QWidget* widget, QWidget* control, PointerRule rule);
    QWidget* controlOf(QWidget* widget) const;
    void loadHandPointer(const QString& cursorFile);

    Dialogs& dialogs_;
    SettingsStore& settings_;
    PowerPointFactory& powerPoint_;
    Form1Environment environment_;
    QString applicationTitle_ = QStringLiteral("Trelwick");
    Pointer pointer_ = Pointer::Default;
    std::optional<QCursor> handCursor_;
    QHash<QWidget*, QWidget*> controlOfWidget_;
    QHash<QWidget*, PointerRule> pointerRule_;
    QWidget* pressedControl_ = nullptr;  // the control that took the last press
    int handlersRunning_ = 0;            // wired handlers that have not returned yet
    bool unloading_ = false;
    bool centred_ = false;
};

}  // namespace trelwick
