#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include "HeaderFooterChoices.h"

class QCheckBox;
class QFrame;
class QGroupBox;
class QLineEdit;
class QTabBar;

namespace trelwick {

class Dialogs;
class ErrorReport;
class SettingsStore;

// The two-tab options panel SSTab1: "Slides" (Frame1) and "Notes and Handouts" (Frame2). Its
// state is the state of its controls; every change is written to the settings store at once.
// Control positions are the window's twips divided by 15, relative to SSTab1 and its frames.
class OptionsPanel : public QWidget {
    Q_OBJECT
  public:
    OptionsPanel(SettingsStore& settings, Dialogs& dialogs, QWidget* parent = nullptr);

    // Restores the panel as steps 132 to 164 of the window's load step, through its report.
    // currentDateText gives the default of the two date fields, evaluated when read.
    void restore(ErrorReport& report, const std::function<QString()>& currentDateText);

    // The controls' values at this moment, for the batch run.
    HeaderFooterChoices choices() const;

    // The state of a box as the program counts it: 0 unchecked, 1 checked, 2 greyed.
    static int stateOf(const QCheckBox* box);

    // Enabling handlers: enable the guarded field exactly when the box is on, then store the box.
    void Check8_Click();
    void Check9_Click();
    void Check11_Click();
    void Check12_Click();
    void Check13_Click();
    // Stand-alone boxes: store the box.
    void Check4_Click();
    void Check10_Click();
    // Text fields: store the whole text.
    void Text1_Change();
    void Text2_Change();
    void Text3_Change();
    void Text4_Change();
    void Text5_Change();

    // The tab strip (tab 0 "Slides", tab 1 "Notes and Handouts") and the panel body below it.
    QTabBar* tabBar = nullptr;
    QFrame* body = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QCheckBox* Check4 = nullptr;
    QCheckBox* Check8 = nullptr;
    QCheckBox* Check9 = nullptr;
    QCheckBox* Check10 = nullptr;
    QCheckBox* Check11 = nullptr;
    QCheckBox* Check12 = nullptr;
    QCheckBox* Check13 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLineEdit* Text3 = nullptr;
    QLineEdit* Text4 = nullptr;
    QLineEdit* Text5 = nullptr;

  private:
    void build();
    void connectHandlers();
    void enableAndStore(QCheckBox* box, QLineEdit* field, const QString& key);
    void storeBox(QCheckBox* box, const QString& key);
    void storeText(QLineEdit* field, const QString& key);
    // Runs a handler raised by the user; a failure is reported under the handler's own name.
    void runHandler(const char* name, void (OptionsPanel::*handler)());
    // Puts a restored value into a control; when it differs, the control's handler runs at once
    // so that a failure belongs to the restoring step.
    void assignText(QLineEdit* field, const QString& text, void (OptionsPanel::*handler)());
    void assignState(QCheckBox* box, int state, void (OptionsPanel::*handler)());

    SettingsStore& settings_;
    Dialogs& dialogs_;
};

}  // namespace trelwick
