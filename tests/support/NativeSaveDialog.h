#pragma once

// Windows only: answers the system's own save dialog as a user would, from
// a thread of its own while the test's thread runs the dialog. Win32 and the
// standard library only.

#include <atomic>
#include <string>
#include <thread>
#include <vector>

// What the dialog showed, and what became of the answer.
struct NativeSaveDialogSeen
{
    bool found = false;      // a save dialog of the test's thread came up
    std::wstring title;
    std::vector<std::wstring> types; // the entries of its file-type list
    bool prompted = false;   // it asked something before closing (an overwrite question)
};

class NativeSaveDialogAnswer
{
public:
    // For the next dialog of the calling thread: picks the 1-based entry of
    // the type list, types the name into the name box and presses Save;
    // entry 0 types the name and presses Cancel instead.
    NativeSaveDialogAnswer(std::wstring typed, int filterIndex);
    // Waits for the answering thread, which gives up after some seconds.
    ~NativeSaveDialogAnswer();
    NativeSaveDialogAnswer(const NativeSaveDialogAnswer &) = delete;
    NativeSaveDialogAnswer &operator=(const NativeSaveDialogAnswer &) = delete;

    // Once the dialog has closed.
    const NativeSaveDialogSeen &seen();

private:
    void answer(unsigned long thread);

    std::wstring m_typed;
    int m_filterIndex;
    NativeSaveDialogSeen m_seen;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
