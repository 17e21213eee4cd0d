#pragma once
// EditorCore: the state that Kestrelon's main window owns and the dialog-free half
// of every command of the window. The window (app/) and the command line (cli/)
// ask the person (dialogs, questions, arguments), call this class and show what it
// returns; everything a person can do is therefore testable without a window.
//
// Every command either completes or changes nothing: a failed open, import, export
// or save leaves sound, analysis, picture and proposals exactly as they were, and
// returns a message that names the file and the cause. Engine errors (overflow and
// the like) are thrown as kestrelon::Error and caught by the shells.

#include <cstdint>
#include <memory>
#include <vector>

#include <QImage>
#include <QLocale>
#include <QString>
#include <QStringList>

#include "audio/TWave.h"
#include "imaging/Picture.h"
#include "spectral/TWaveCepstram.h"

namespace kestrelon {

// The view modes kSpectrumView (0) and kCepstrumView (1) come from imaging/Picture.h.

// The FFT lengths the window offers.
bool isValidFFTLength(int32_t n);

struct CommandResult {
    bool ok = false;
    QString message; // why it failed, or a warning on success (a cut-short WAV file)
    ClipStats clips; // import: samples the resynthesis clipped
};

class EditorTask;
class TaskControl;

class EditorCore {
public:
    EditorCore();
    ~EditorCore();

    // --- state of the main window -------------------------------------------------
    std::unique_ptr<TWave> FWave; // none until the first successful open, then reused
    int32_t FFFTLength = 1024; // changed only through SetFFTLength
    TWaveCepstram FCepstram;
    uint8_t FMode = kSpectrumView;
    QImage FBitmap; // the display picture, 32 bits per pixel; the reference
                    // that export writes and import compares with
    const int32_t FLeftMargin = 48;
    const int32_t FTopMargin = 16;
    QLocale locale; // decimal separator of labels and the seconds panel

    // Stores n if it is 256, 512, 1024, 2048 or 4096; returns whether it did.
    bool SetFFTLength(int32_t n);

    bool hasSound() const { return FWave != nullptr; }
    // Analysis, picture and FFT length agree (the first step of export and import).
    bool geometryMatches() const;

    // --- commands -------------------------------------------------------------------
    // Open: load path; on success adopt it (the same TWave object is reused), refresh
    // the view and set the proposals below. On failure nothing changes. With
    // refresh = false the analysis and picture are left for a later RefreshView (the
    // command line's info needs neither).
    CommandResult Open(const QString& path, bool refresh = true);
    // Analyse FWave with FFFTLength, compute dB (and the cepstrum in the cepstrum
    // view) and draw the picture. Does nothing without a sound.
    void RefreshView();
    // The six status texts: "2.500 sec", "110250 samples", "2 ch", "44100 Hz",
    // "16 bit", "216 frames".
    QStringList statusTexts() const;
    // The same texts with the frame count given (what an analysis with FFFTLength makes).
    QStringList statusTexts(int32_t frames) const;
    // The frame count an analysis of the current sound with FFFTLength makes (0 without
    // samples), without analysing.
    int32_t expectedFrameCount() const;
    // Switch the view: draws the other picture, computing the cepstrum once per analysis.
    void SetMode(uint8_t mode);
    // Change N: store it and, with a sound, re-analyse and forget the import proposal.
    void ChangeFFTLength(int32_t n);
    // The two hidden commands: analyse and draw the spectrum; resynthesise the spectrum.
    void AnalyzeAndDrawSpectrum();
    void SynthesizeSpectrum();

    CommandResult Save(const QString& path);
    // Writes the filter image of the current picture to path and proposes it for import.
    CommandResult Export(const QString& path);
    // Reads the edited picture at path, applies its gray differences as gains to every
    // channel in the current view, resynthesises and refreshes. With refresh = false the
    // last step is left out (the command line saves the sound straight away); the
    // analysis and picture then still describe the sound before the import.
    CommandResult Import(const QString& path, bool refresh = true);

    // --- proposals for the dialogs ------------------------------------------------------
    QString openedPath() const { return FOpenedPath; } // the last opened file
    QString fileName() const; // its name, for the caption
    QString proposedSavePath() const { return FSavePath; } // dir/name_fix.wav
    QString filterDirectory() const { return FFilterDir; } // with a trailing separator
    QString proposedExportPath() const; // dir/name_s1024.bmp
    QString importProposal() const { return FImportPath; } // last export, "" after N changes

    // What the drawing code reads from this state.
    DrawContext drawContext() const;

    // --- the same commands in three steps, for running them off the UI thread ---------
    // (see editing/EditorTasks.h). prepare* runs on the UI thread and captures what the
    // command needs; runTask computes the new sound, analysis and picture on a worker
    // thread without writing this object (only an analysis lent to the task by
    // prepareSetMode, prepareOpen, prepareChangeFFTLength or
    // prepareImport);
    // finishTask, on the UI thread again, moves them in (success) or gives back what was
    // lent to the task (failure or cancel), leaving
    // everything exactly as it was. While a task is between prepare and finish, nothing
    // else may use this object. The results equal those of Open, SetMode, ChangeFFTLength
    // and Import bit for bit (analyses are deterministic).
    std::unique_ptr<EditorTask> prepareOpen(const QString& path);
    std::unique_ptr<EditorTask> prepareSetMode(uint8_t mode);
    std::unique_ptr<EditorTask> prepareChangeFFTLength(int32_t n);
    std::unique_ptr<EditorTask> prepareImport(const QString& path);
    // An import of an already decoded picture, compared with `reference` (a picture of
    // the current geometry) and applied to `baseSamples` (a sample block of the current
    // format and length) instead of the current sound: the base sound is analysed (unless
    // it is the current sound, whose analysis the core holds), the gains applied, the
    // result resynthesised and shown.
    std::unique_ptr<EditorTask> prepareImport(
        const QImage& edited, const QImage& reference, std::vector<uint8_t> baseSamples);
    // Never throws: engine errors and allocation failures become a failed result.
    void runTask(EditorTask& task, TaskControl& control) const;
    CommandResult finishTask(EditorTask& task);

private:
    void drawCurrentView();
    void clearAnalysis();
    // Analyses FWave and computes its dB rows; false (analysis cleared) for an empty sound.
    bool analyzeSound();
    void adoptPath(const QString& path);
    // The analysis is what RefreshView makes of FWave in the current view, so it can be
    // made again from FWave bit for bit (an import may then lend it to its task).
    bool analysisIsOfSound() const;
    // Lends the analysis to a task that replaces it: open, a change of N, import (see
    // EditorTasks.h).
    void lendAnalysis(EditorTask& t);
    // Makes a lent analysis that an import changed again from FWave, as it was.
    void remakeLent(EditorTask& t) const;

    // FCepstram was made by analysing FWave as it is now (set by every analysis of FWave,
    // cleared by whatever changes the sound or the analysis without the other).
    bool FAnalysisOfWave = false;

    QString FOpenedPath;
    QString FSavePath;
    QString FFilterDir;
    QString FImportPath;
};

} // namespace kestrelon
