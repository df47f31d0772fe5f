// Win32 side of a run's process tree. Built on Windows only.
#ifdef _WIN32

#include "ProcessTree_win.h"

#include <windows.h>
#include <tlhelp32.h>

#include <vector>

namespace win32 {

struct RunJob
{
    HANDLE handle;
};

RunJob *CreateRunJob()
{
    const HANDLE handle = CreateJobObjectW(nullptr, nullptr);
    if (!handle)
        return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(handle, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    return new RunJob{handle};
}

void CloseRunJob(RunJob *job)
{
    if (!job)
        return;
    CloseHandle(job->handle);
    delete job;
}

namespace {

// Calls f with a handle to each thread of the process; false when the
// threads could not be listed.
template <typename F>
bool forEachThread(DWORD processId, DWORD access, F f)
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    bool ok = Thread32First(snapshot, &entry) != FALSE;
    for (bool more = ok; more; more = Thread32Next(snapshot, &entry) != FALSE) {
        if (entry.th32OwnerProcessID != processId)
            continue;
        if (const HANDLE thread = OpenThread(access, FALSE, entry.th32ThreadID)) {
            ok = f(thread) && ok;
            CloseHandle(thread);
        } else {
            ok = false;
        }
    }
    CloseHandle(snapshot);
    return ok;
}

bool resumeThread(HANDLE thread) { return ResumeThread(thread) != DWORD(-1); }
bool suspendThread(HANDLE thread) { return SuspendThread(thread) != DWORD(-1); }

// The ids of the processes in the job.
std::vector<DWORD> processesOf(HANDLE job)
{
    // The list's header, then one id per entry; grown until it fits.
    std::vector<ULONG_PTR> buffer(64);
    for (;;) {
        auto *list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST *>(buffer.data());
        const DWORD room = DWORD(buffer.size() - 2);
        list->NumberOfAssignedProcesses = room;
        const BOOL ok = QueryInformationJobObject(job, JobObjectBasicProcessIdList, list,
                                                  DWORD(buffer.size() * sizeof(ULONG_PTR)), nullptr);
        if (ok || GetLastError() != ERROR_MORE_DATA || list->NumberOfAssignedProcesses <= room) {
            if (!ok)
                return {};
            return std::vector<DWORD>(list->ProcessIdList, list->ProcessIdList + list->NumberOfProcessIdsInList);
        }
        buffer.resize(size_t(list->NumberOfAssignedProcesses) + 2);
    }
}

} // namespace

bool AdoptSuspended(RunJob *job, unsigned long processId)
{
    bool adopted = false;
    if (job) {
        if (const HANDLE process = OpenProcess(PROCESS_SET_QUOTA | PROCESS_TERMINATE, FALSE, processId)) {
            adopted = AssignProcessToJobObject(job->handle, process) != FALSE;
            CloseHandle(process);
        }
    }
    // Started suspended, it has its first thread alone.
    forEachThread(processId, THREAD_SUSPEND_RESUME, resumeThread);
    return adopted;
}

bool SuspendJob(RunJob *job, bool suspend)
{
    if (!job)
        return false;
    const std::vector<DWORD> processes = processesOf(job->handle);
    bool ok = !processes.empty();
    for (DWORD id : processes)
        ok = forEachThread(id, THREAD_SUSPEND_RESUME, suspend ? suspendThread : resumeThread) && ok;
    return ok;
}

bool EndJob(RunJob *job, unsigned exitCode)
{
    return job && TerminateJobObject(job->handle, exitCode) != FALSE;
}

std::int64_t JobWrittenBytes(RunJob *job)
{
    JOBOBJECT_BASIC_AND_IO_ACCOUNTING_INFORMATION info{};
    if (!job || !QueryInformationJobObject(job->handle, JobObjectBasicAndIoAccountingInformation, &info, sizeof info,
                                           nullptr))
        return -1;
    return std::int64_t(info.IoInfo.WriteTransferCount);
}

} // namespace win32

#endif // _WIN32
