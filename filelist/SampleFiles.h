#pragma once

#include <QString>

namespace trelwick {

class Dialogs;
class FileList;
class SettingsStore;

// The sample decks shipped in the Samples folder: recorded once into the setting "Snapshot" (scrambled)
// and added to the file list on request.
class SampleFiles {
  public:
    // samplesFolder: where the samples lie; defaultSamplesFolder() for the program's own.
    SampleFiles(SettingsStore& settings, Dialogs& dialogs, QString samplesFolder);

    // The Samples folder beside the program, else the one in the installed data folder; the one
    // beside the program when neither exists.
    static QString defaultSamplesFolder();

    // Writes the scrambled, "|"-separated full paths of the files in the samples folder to "Snapshot"
    // (the empty text for a missing or empty folder).
    void RecordSampleFiles();

    // Adds each recorded sample that still exists and is not listed yet, then asks whether to open the
    // samples folder (titled applicationTitle) and opens it on Yes.
    void LoadSampleFiles(FileList& list, const QString& applicationTitle);

    // True when an entry's text equals path exactly (case-sensitive); false for an empty list.
    static bool IsInList(const FileList& list, const QString& path);

    // The folder this instance records and opens.
    const QString& samplesFolder() const { return samplesFolder_; }

  private:
    SettingsStore& settings_;
    Dialogs& dialogs_;
    QString samplesFolder_;
};

}  // namespace trelwick
