// Processes: liveness by identifier, the attach-time opening of the process's
// security, and child processes for tests and tools.
#include "platform/process.h"

#include <utility>

#include "platform/timeout.h"
#include "platform/win32/windows_api.h"

namespace trv::platform {
namespace {

// One argument as the C runtime's command-line parser reads it back:
// quoted when needed, backslashes doubled before a quote, quotes escaped.
void AppendQuoted(std::string& commandLine, const std::string& argument) {
    commandLine.push_back(' ');
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
        commandLine += argument;
        return;
    }
    commandLine.push_back('"');
    for (auto it = argument.begin();; ++it) {
        std::size_t backslashes = 0;
        while (it != argument.end() && *it == '\\') {
            ++it;
            ++backslashes;
        }
        if (it == argument.end()) {
            // Doubled, so that the closing quote stays a quote.
            commandLine.append(backslashes * 2, '\\');
            break;
        }
        if (*it == '"') {
            commandLine.append(backslashes * 2 + 1, '\\');
        } else {
            commandLine.append(backslashes, '\\');
        }
        commandLine.push_back(*it);
    }
    commandLine.push_back('"');
}

bool IsVistaOrLater() {
    OSVERSIONINFOEXW wanted = {};
    wanted.dwOSVersionInfoSize = sizeof(wanted);
    wanted.dwMajorVersion = 6;
    const DWORDLONG condition = VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&wanted, VER_MAJORVERSION, condition) != FALSE;
}

// Makes a standard handle inheritable so that a child started with
// STARTF_USESTDHANDLES receives it; a missing handle stays missing.
HANDLE InheritableStdHandle(DWORD which) {
    HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return handle;
    SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    return handle;
}

}  // namespace

bool IsProcessAlive(std::uint32_t processId) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, processId);
    if (process == nullptr) {
        // A process this one may not open still exists.
        const DWORD error = GetLastError();
        win32::RecordError(error);
        return error == ERROR_ACCESS_DENIED;
    }
    DWORD exitCode = 0;
    bool alive = GetExitCodeProcess(process, &exitCode) && exitCode == STILL_ACTIVE;
    // STILL_ACTIVE is also a possible exit code; the process object tells.
    if (alive) alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return alive;
}

namespace {

// The creation time of an open process, cut to 32 bits and never 0.
std::uint32_t CreationStampOf(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        win32::RecordLastError();
        return 0;
    }
    const std::uint64_t time = (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) |
                               created.dwLowDateTime;
    const auto stamp = static_cast<std::uint32_t>(time ^ (time >> 32));
    return stamp != 0 ? stamp : 1;
}

}  // namespace

std::uint32_t ProcessStartStamp(std::uint32_t processId) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) {
        win32::RecordLastError();
        return 0;
    }
    const std::uint32_t stamp = CreationStampOf(process);
    CloseHandle(process);
    return stamp;
}

std::uint32_t CurrentProcessStartStamp() { return CreationStampOf(GetCurrentProcess()); }

bool IsProcessAlive(std::uint32_t processId, std::uint32_t startStamp) {
    if (!IsProcessAlive(processId)) return false;
    if (startStamp == 0) return true;
    const std::uint32_t now = ProcessStartStamp(processId);
    // Not openable (another user's process): the id alone.
    return now == 0 || now == startStamp;
}

ProcessWatch::ProcessWatch(std::uint32_t processId, std::uint32_t startStamp)
    : processId_(processId), startStamp_(startStamp) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, processId);
    if (process != nullptr) {
        // The stamp tells whether the handle names the process meant, not a
        // later one given the same id.
        const std::uint32_t stamp = CreationStampOf(process);
        if (startStamp != 0 && stamp != 0 && stamp != startStamp) goneAtStart_ = true;
        watch_ = reinterpret_cast<std::intptr_t>(process);
        return;
    }
    win32::RecordLastError();
    goneAtStart_ = !IsProcessAlive(processId, startStamp);
}

ProcessWatch::~ProcessWatch() {
    if (watch_ != -1) CloseHandle(reinterpret_cast<HANDLE>(watch_));
}

ProcessWatch::ProcessWatch(ProcessWatch&& other) noexcept { *this = std::move(other); }

ProcessWatch& ProcessWatch::operator=(ProcessWatch&& other) noexcept {
    if (this == &other) return *this;
    if (watch_ != -1) CloseHandle(reinterpret_cast<HANDLE>(watch_));
    processId_ = other.processId_;
    startStamp_ = other.startStamp_;
    watch_ = other.watch_;
    goneAtStart_ = other.goneAtStart_;
    other.watch_ = -1;
    return *this;
}

bool ProcessWatch::Ended() const {
    if (goneAtStart_) return true;
    if (watch_ == -1) return !IsProcessAlive(processId_, startStamp_);
    return WaitForSingleObject(reinterpret_cast<HANDLE>(watch_), 0) == WAIT_OBJECT_0;
}

void OpenObjectsToAllProcesses() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_DEFAULT | TOKEN_QUERY, &token)) {
        win32::RecordLastError();
        return;
    }
    if (!IsVistaOrLater()) {
        // Before Vista the default DACL of the token is what objects created
        // without a descriptor get; a null one leaves them unrestricted.
        TOKEN_DEFAULT_DACL noDacl = {};
        if (!SetTokenInformation(token, TokenDefaultDacl, &noDacl, sizeof(noDacl))) {
            win32::RecordLastError();
        }
    }
    CloseHandle(token);

    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE) ||
        !SetKernelObjectSecurity(GetCurrentProcess(), DACL_SECURITY_INFORMATION, &descriptor)) {
        win32::RecordLastError();
    }
}

std::string ObjectsProblem() { return std::string(); }

void SweepObjectsOfEndedProcesses() {}

ChildProcess SpawnProcess(const std::string& program, const std::vector<std::string>& arguments) {
    ChildProcess child;
    if (program.empty()) {
        win32::RecordError(ERROR_INVALID_PARAMETER);
        return child;
    }
    // The program name is read without escapes: it is always quoted whole.
    std::string commandLine = "\"" + program + "\"";
    for (const auto& argument : arguments) AppendQuoted(commandLine, argument);

    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = InheritableStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = InheritableStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = InheritableStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &started)) {
        win32::RecordLastError();
        return child;
    }
    CloseHandle(started.hThread);
    child.handle = win32::FromNative(started.hProcess);
    child.id = started.dwProcessId;
    return child;
}

std::uint32_t WaitForProcess(Handle process, std::uint32_t timeoutMs, int* exitCode) {
    if (process == kNoHandle) {
        win32::RecordError(ERROR_INVALID_HANDLE);
        return kWaitFailed;
    }
    HANDLE native = win32::ToNative(process);
    switch (WaitForSingleObject(native, timeoutMs)) {
        case WAIT_OBJECT_0: break;
        case WAIT_TIMEOUT: return kWaitTimeout;
        default: win32::RecordLastError(); return kWaitFailed;
    }
    if (exitCode != nullptr) {
        DWORD code = 0;
        if (!GetExitCodeProcess(native, &code)) {
            win32::RecordLastError();
            return kWaitFailed;
        }
        *exitCode = static_cast<int>(code);
    }
    return kWaitObject0;
}

bool KillProcess(Handle process) {
    if (process == kNoHandle) {
        win32::RecordError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (!TerminateProcess(win32::ToNative(process), 1)) {
        win32::RecordLastError();
        return false;
    }
    return true;
}

std::string ExecutablePath() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            win32::RecordLastError();
            return std::string();
        }
        // A full buffer means the path may have been cut short.
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace trv::platform
