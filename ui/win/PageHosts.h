#pragma once
// What the main window asks of its pages (report, trouble codes, settings),
// and what the pages ask of the main window.
#include "ui/win/PicturePage.h"

#include <windows.h>

#include <atomic>
#include <string>

// The report page owns its reader thread and the hand-shake with it; the
// main window only says what happened.
class IReportPage {
public:
    virtual ~IReportPage() = default;
    virtual void ConnectReportReader() = 0;
    // Another page becomes current: the reader is told to end, the capture's
    // waiting text is taken, what it reads later is dropped; the report box
    // keeps its text.
    virtual void LeaveReportPage() = 0;
    // The tool went away while the page was current: the reader is told to
    // end and what it captured is kept.
    virtual void ReportToolGone() = 0;
};

// Kelvo is closing: tells a running report reader to end (any thread).
void StopReportReader();

class IDtcPage {
public:
    virtual ~IDtcPage() = default;
    virtual void LoadDtcFile(int languageIndex) = 0;
};

class ISettingsPage {
public:
    virtual ~ISettingsPage() = default;
    virtual void ScanSkins() = 0;
    virtual void LoadSettings() = 0;  // loads [Setting] and attaches the saved skin
    virtual int LanguageIndex() const = 0;
    virtual int SkinIndex() const = 0;
};

// The main window as the pages see it.
class IMainWindow : public IPageBackground {
public:
    virtual void SetSkinColour(int skinIndex) = 0;
    virtual BOOL IsDevicePresent() const = 0;
    virtual void SetUpdateBusy(BOOL busy) = 0;
    virtual BOOL IsUpdateBusy() const = 0;
    // Runs the identification over the tool's ports (keep and variant flags).
    virtual void Identify(int keep, int variant) = 0;
    virtual std::wstring DeviceName() const = 0;
    // The attached skin's dialog and text colours; false when no skin is attached.
    virtual bool SkinColours(COLORREF* back, COLORREF* text) const { return false; }
    // False while high contrast is on: no skin is attached then, the chosen
    // one only remembered.
    virtual bool SkinAllowed() const { return true; }
    // A one-off message in the status row, until the device state shows again.
    virtual void ShowStatusNote(const std::wstring& text) = 0;

protected:
    ~IMainWindow() = default;
};
