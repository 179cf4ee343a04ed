#pragma once

#include <QString>

// The window side of start-up: what the core sequence asks of the toolkit.
class IStartupHost
{
public:
    virtual ~IStartupHost() = default;

    // The show command the process was started with (1 normal, 2/6/7/11 minimised,
    // 3 maximised).
    virtual int ShowCommand() const = 0;
    // Version of the engine behind the reading pane.
    virtual bool ReadBrowserEngineVersion(int& major, int& minor) = 0;
    // Looks for the speech engine and a default voice, logging each step.
    virtual bool CheckSpeechEngine() = 0;
    // Creates the voice converter: loads the MP3 encoder, then the extraction script.
    virtual bool CreateConverter() = 0;
    // Unloads and destroys the converter; false when there was none.
    virtual bool DestroyConverter() = 0;
    // Shows a start-up failure to the user.
    virtual void ShowError(const QString& text) = 0;
    // Creates the document and the (hidden) main frame.
    virtual bool CreateDocumentAndFrame() = 0;
    virtual void HideMainWindow() = 0;
    // Restores the stored placement and shows the frame as startShowState asks.
    virtual void RestorePlacementAndShow(int startShowState) = 0;
    // Starts the conversion queue, then the download queue.
    virtual void StartQueues() = 0;
    // Stops the download queue, then the conversion queue; false when a worker was still
    // busy after the wait.
    virtual bool StopQueues() = 0;
    // The session asked the program to end while it started (say, while a message box
    // waited for the person): the start goes no further.
    virtual bool EndRequested() const { return false; }
};
