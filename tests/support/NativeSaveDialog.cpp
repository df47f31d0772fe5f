#include "NativeSaveDialog.h"

#include <windows.h>

#include <chrono>
#include <cwchar>
#include <utility>

namespace {

// The controls of the Explorer-style save dialog (dlgs.h): the name box and
// the list of file types.
constexpr int kNameBox = 0x47c;  // cmb13
constexpr int kNameEdit = 0x480; // edt1, in older layouts
constexpr int kTypeList = 0x470; // cmb1

struct Search
{
    DWORD thread;
    HWND except;
    HWND found;
};

BOOL CALLBACK findDialog(HWND window, LPARAM context)
{
    auto *search = reinterpret_cast<Search *>(context);
    wchar_t name[16] = {};
    if (window != search->except && GetWindowThreadProcessId(window, nullptr) == search->thread
        && IsWindowVisible(window) && GetClassNameW(window, name, 16) && std::wcscmp(name, L"#32770") == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// A dialog box of the thread other than except, or null.
HWND dialogOf(DWORD thread, HWND except = nullptr)
{
    Search search{thread, except, nullptr};
    EnumWindows(findDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring textOf(HWND window)
{
    std::wstring text(size_t(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(size_t(GetWindowTextW(window, text.data(), int(text.size()))));
    return text;
}

// The edit field where the name is typed: inside the name box's combo box.
HWND nameField(HWND dialog)
{
    HWND window = GetDlgItem(dialog, kNameBox);
    if (!window)
        return GetDlgItem(dialog, kNameEdit);
    for (HWND inner = window; inner; inner = FindWindowExW(inner, nullptr, nullptr, nullptr)) {
        wchar_t name[16] = {};
        if (GetClassNameW(inner, name, 16) && _wcsicmp(name, L"Edit") == 0)
            return inner;
    }
    return window;
}

} // namespace

NativeSaveDialogAnswer::NativeSaveDialogAnswer(std::wstring typed, int filterIndex)
    : m_typed(std::move(typed)), m_filterIndex(filterIndex)
{
    const DWORD thread = GetCurrentThreadId();
    m_thread = std::thread([this, thread] { answer(thread); });
}

NativeSaveDialogAnswer::~NativeSaveDialogAnswer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

const NativeSaveDialogSeen &NativeSaveDialogAnswer::seen()
{
    if (m_thread.joinable())
        m_thread.join();
    return m_seen;
}

void NativeSaveDialogAnswer::answer(unsigned long thread)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    auto inTime = [&] { return !m_stop && std::chrono::steady_clock::now() < deadline; };
    HWND dialog = nullptr;
    while (!dialog && inTime()) {
        dialog = dialogOf(thread);
        if (!dialog)
            Sleep(20);
    }
    if (!dialog)
        return;
    m_seen.found = true;
    m_seen.title = textOf(dialog);
    HWND types = GetDlgItem(dialog, kTypeList);
    const LRESULT count = SendMessageW(types, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring entry(size_t(SendMessageW(types, CB_GETLBTEXTLEN, WPARAM(i), 0)) + 1, L'\0');
        entry.resize(size_t(SendMessageW(types, CB_GETLBTEXT, WPARAM(i), reinterpret_cast<LPARAM>(entry.data()))));
        m_seen.types.push_back(entry);
    }
    // As a user does it: the type first (choosing one may rewrite the
    // name), then the name, then the button.
    if (m_filterIndex > 0) {
        SendMessageW(types, CB_SETCURSEL, WPARAM(m_filterIndex - 1), 0);
        // What a click in the list tells its dialog: the choice changed, and it stands.
        for (const WORD note : {WORD(CBN_SELCHANGE), WORD(CBN_SELENDOK)})
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(kTypeList, note), reinterpret_cast<LPARAM>(types));
    }
    SendMessageW(nameField(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(m_typed.c_str()));
    const int button = m_filterIndex > 0 ? IDOK : IDCANCEL;
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
    // Until it closes; a box on top of it asks or tells something, and is
    // answered Yes (or OK).
    while (IsWindow(dialog) && IsWindowVisible(dialog) && inTime()) {
        if (HWND question = dialogOf(thread, dialog)) {
            m_seen.prompted = true;
            const int reply = GetDlgItem(question, IDYES) ? IDYES : IDOK;
            PostMessageW(question, WM_COMMAND, MAKEWPARAM(reply, BN_CLICKED), 0);
        }
        Sleep(20);
    }
}
