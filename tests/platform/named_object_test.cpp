// Named objects: process-local names, and "Global\" names seen by a second
// process (this test program, started again on a helper test).

#include "PlatformTestSupport.h"

#include "TestSupport.h"

#include "platform/runtime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using vxtest::kBound;
using vxtest::ScopedHandle;

// --- Process-local names --------------------------------------------------

struct Kind {
    const char* name;
    HANDLE (*create)(const char* objectName);
};

const Kind kKinds[] = {
    {"event", [](const char* n) { return CreateEventA(nullptr, TRUE, FALSE, n); }},
    {"semaphore", [](const char* n) { return CreateSemaphoreA(nullptr, 0, 5, n); }},
    {"mutex", [](const char* n) { return CreateMutexA(nullptr, FALSE, n); }},
};

TEST(NamedObject, SecondCreateOpensTheSameObjectWithAlreadyExists)
{
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        const std::string name = std::string("vx-same-") + kind.name;
        SetLastError(ERROR_ACCESS_DENIED);
        ScopedHandle first(kind.create(name.c_str()));
        ASSERT_NE(first.get(), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_SUCCESS) << "a new object clears the last error";
        ScopedHandle second(kind.create(name.c_str()));
        ASSERT_NE(second.get(), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
        EXPECT_NE(first.get(), second.get()) << "a handle of its own";
    }
}

TEST(NamedObject, HandlesOfOneNameShareState)
{
    ScopedHandle event1(CreateEventA(nullptr, TRUE, FALSE, "vx-shared-event"));
    ScopedHandle event2(CreateEventA(nullptr, FALSE, TRUE, "vx-shared-event"));  // settings ignored
    EXPECT_EQ(WaitForSingleObject(event1.get(), 0), WAIT_TIMEOUT);
    SetEvent(event2.get());
    EXPECT_EQ(WaitForSingleObject(event1.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event1.get(), 0), WAIT_OBJECT_0) << "manual reset, as first created";

    ScopedHandle semaphore1(CreateSemaphoreA(nullptr, 0, 1, "vx-shared-semaphore"));
    ScopedHandle semaphore2(CreateSemaphoreA(nullptr, 0, 1, "vx-shared-semaphore"));
    ReleaseSemaphore(semaphore2.get(), 1, nullptr);
    EXPECT_EQ(WaitForSingleObject(semaphore1.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(semaphore2.get(), 0), WAIT_TIMEOUT);
}

TEST(NamedObject, InitialOwnerIsIgnoredWhenTheMutexExists)
{
    ScopedHandle mine(CreateMutexA(nullptr, FALSE, "vx-owner"));
    DWORD error = 0;
    BOOL released = TRUE;
    std::thread other([&] {
        ScopedHandle theirs(CreateMutexA(nullptr, TRUE, "vx-owner"));
        error = GetLastError();
        released = ReleaseMutex(theirs.get());
    });
    other.join();
    EXPECT_EQ(error, ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(released) << "the second create did not take ownership";
}

TEST(NamedObject, AnotherKindUnderTheNameFailsWithInvalidHandle)
{
    ScopedHandle event(CreateEventA(nullptr, TRUE, FALSE, "vx-kind"));
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(CreateMutexA(nullptr, FALSE, "vx-kind"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(CreateSemaphoreA(nullptr, 0, 1, "vx-kind"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "vx-kind"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(NamedObject, OpenFindsOnlyExistingObjects)
{
    EXPECT_EQ(OpenEventA(EVENT_ALL_ACCESS, FALSE, "vx-missing"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, "vx-missing"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    ScopedHandle event(CreateEventA(nullptr, TRUE, FALSE, "vx-open-event"));
    ScopedHandle opened(OpenEventA(EVENT_ALL_ACCESS, FALSE, "vx-open-event"));
    ASSERT_NE(opened.get(), nullptr);
    SetEvent(opened.get());
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0);

    ScopedHandle mutex(CreateMutexA(nullptr, TRUE, "vx-open-mutex"));
    ScopedHandle openedMutex(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "vx-open-mutex"));
    ASSERT_NE(openedMutex.get(), nullptr);
    EXPECT_TRUE(ReleaseMutex(openedMutex.get()));
}

TEST(NamedObject, TheNameLivesUntilItsLastHandleCloses)
{
    const HANDLE first = CreateEventA(nullptr, TRUE, FALSE, "vx-lives");
    const HANDLE second = OpenEventA(EVENT_ALL_ACCESS, FALSE, "vx-lives");
    ASSERT_NE(second, nullptr);
    ASSERT_TRUE(CloseHandle(first));
    const HANDLE third = CreateEventA(nullptr, TRUE, FALSE, "vx-lives");
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS) << "still held by the second handle";
    ASSERT_TRUE(CloseHandle(second));
    ASSERT_TRUE(CloseHandle(third));
    EXPECT_EQ(OpenEventA(EVENT_ALL_ACCESS, FALSE, "vx-lives"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(NamedObject, ANewObjectAfterTheLastCloseStartsAfresh)
{
    const HANDLE first = CreateEventA(nullptr, TRUE, TRUE, "vx-afresh");
    ASSERT_TRUE(CloseHandle(first));
    EXPECT_EQ(OpenEventA(EVENT_ALL_ACCESS, FALSE, "vx-afresh"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    ScopedHandle second(CreateEventA(nullptr, TRUE, FALSE, "vx-afresh"));
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_EQ(WaitForSingleObject(second.get(), 0), WAIT_TIMEOUT) << "not the old, set object";
}

TEST(NamedObject, NamesAreCaseSensitive)
{
    ScopedHandle lower(CreateEventA(nullptr, TRUE, FALSE, "vx-case"));
    ScopedHandle upper(CreateEventA(nullptr, TRUE, FALSE, "VX-CASE"));
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
}

TEST(NamedObject, WideNamesMeetNarrowNames)
{
    ScopedHandle wideEvent(CreateEventW(nullptr, TRUE, FALSE, L"vx-wide-event"));
    ScopedHandle narrowEvent(CreateEventA(nullptr, TRUE, FALSE, "vx-wide-event"));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);

    ScopedHandle narrowMutex(CreateMutexA(nullptr, FALSE, "vx-wide-mutex"));
    ScopedHandle wideMutex(CreateMutexW(nullptr, FALSE, L"vx-wide-mutex"));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);

    ScopedHandle wideSemaphore(CreateSemaphoreW(nullptr, 0, 1, L"vx-wide-semaphore"));
    ScopedHandle narrowSemaphore(CreateSemaphoreA(nullptr, 0, 1, "vx-wide-semaphore"));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);

    // Converted by value: U+00E9 is the byte 0xE9.
    ScopedHandle accented(CreateEventW(nullptr, TRUE, FALSE, L"vx-caf\u00e9"));
    ScopedHandle bytes(CreateEventA(nullptr, TRUE, FALSE, "vx-caf\xe9"));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);

    ScopedHandle unnamed(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    EXPECT_NE(unnamed.get(), nullptr);
}

TEST(NamedObject, UnnamedObjectsAreAlwaysNew)
{
    ScopedHandle first(CreateEventA(nullptr, TRUE, FALSE, ""));
    SetLastError(ERROR_ALREADY_EXISTS);
    ScopedHandle second(CreateEventA(nullptr, TRUE, FALSE, ""));
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    SetEvent(first.get());
    EXPECT_EQ(WaitForSingleObject(second.get(), 0), WAIT_TIMEOUT);
}

TEST(NamedObject, GlobalNameInOneProcessBehavesLikeALocalName)
{
    ScopedHandle first(CreateMutexA(nullptr, FALSE, "Global\\vx-in-process"));
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    ScopedHandle second(CreateMutexA(nullptr, FALSE, "Global\\vx-in-process"));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
}

// --- "Global\" names across processes ------------------------------------
//
// The helper below runs only in a second copy of this program: it creates
// the named mutex, writes the last error to a report file, and, when asked,
// holds the mutex until a release file appears (or it is killed).

constexpr const char* kHelperFilter = "NamedObjectHelper.CreateGlobalMutexAndReport";

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

TEST(NamedObjectHelper, CreateGlobalMutexAndReport)
{
    const std::string name = environment("VX_HELPER_NAME");
    if (name.empty())
        GTEST_SKIP() << "runs only as the second process of the Global\\ tests";
    const HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    const DWORD error = mutex != nullptr ? GetLastError() : 0xFFFFFFFFu;
    {
        const std::string report = environment("VX_HELPER_REPORT");
        std::ofstream(report + ".part") << error;
        std::rename((report + ".part").c_str(), report.c_str());  // appears whole
    }
    const std::string release = environment("VX_HELPER_RELEASE");
    if (!release.empty()) {
        EXPECT_TRUE(vxtest::waitUntil([&] { return access(release.c_str(), F_OK) == 0; }));
    }
}

class SecondProcess {
public:
    // Starts this program on the helper test; `hold` keeps the helper (and
    // its mutex) alive until release() or kill().
    SecondProcess(const std::string& name, const std::string& directory, bool hold)
        : m_report(directory + "/report"), m_release(directory + "/release")
    {
        std::vector<std::string> environment;
        for (char** entry = environ; *entry != nullptr; ++entry)
            environment.emplace_back(*entry);
        environment.push_back("VX_HELPER_NAME=" + name);
        environment.push_back("VX_HELPER_REPORT=" + m_report);
        if (hold)
            environment.push_back("VX_HELPER_RELEASE=" + m_release);
        const std::string program = "/proc/self/exe";
        const std::string filter = std::string("--gtest_filter=") + kHelperFilter;
        std::vector<char*> argv{const_cast<char*>(program.c_str()), const_cast<char*>(filter.c_str()), nullptr};
        std::vector<char*> envp;
        for (auto& entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        m_spawned = posix_spawn(&m_pid, program.c_str(), nullptr, nullptr, argv.data(), envp.data()) == 0;
    }

    ~SecondProcess()
    {
        if (m_pid > 0 && !m_reaped) {
            release();
            kill();
        }
    }

    bool spawned() const { return m_spawned; }

    // The last error the helper's CreateMutexA left, once it has reported.
    DWORD reportedError()
    {
        if (!vxtest::waitUntil([&] { return access(m_report.c_str(), F_OK) == 0; }))
            return 0xEEEEEEEEu;
        return static_cast<DWORD>(std::stoul(vxtest::readFile(m_report)));
    }

    void release() { std::ofstream(m_release) << "go"; }

    // Ends the helper without letting it clean up anything.
    void kill()
    {
        ::kill(m_pid, SIGKILL);
        waitForExit();
    }

    // The helper's exit status (0 when its test passed).
    int waitForExit()
    {
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_reaped = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    std::string m_report;
    std::string m_release;
    pid_t m_pid = -1;
    bool m_spawned = false;
    bool m_reaped = false;
};

std::string globalName(const char* base)
{
    return std::string("Global\\") + base + "-" + std::to_string(getpid());
}

TEST(GlobalName, ASecondProcessCreatingTheNameGetsAlreadyExists)
{
    const std::string name = globalName("vx-held-here");
    ScopedHandle mine(CreateMutexA(nullptr, FALSE, name.c_str()));
    ASSERT_EQ(GetLastError(), ERROR_SUCCESS);

    vxtest::TempDir directory;
    SecondProcess other(name, directory.path().string(), false);
    ASSERT_TRUE(other.spawned());
    EXPECT_EQ(other.reportedError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(other.waitForExit(), 0);
}

TEST(GlobalName, ANameHeldByASecondProcessIsSeenHere)
{
    const std::string name = globalName("vx-held-there");
    vxtest::TempDir directory;
    SecondProcess other(name, directory.path().string(), true);
    ASSERT_TRUE(other.spawned());
    ASSERT_EQ(other.reportedError(), ERROR_SUCCESS);

    {
        ScopedHandle mine(CreateMutexA(nullptr, FALSE, name.c_str()));
        ASSERT_NE(mine.get(), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
        other.release();
        EXPECT_EQ(other.waitForExit(), 0);
        // This process still holds the name through `mine`.
        ScopedHandle again(CreateMutexA(nullptr, FALSE, name.c_str()));
        EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    }
    ScopedHandle fresh(CreateMutexA(nullptr, FALSE, name.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS) << "no process holds it any more";
}

TEST(GlobalName, TheMarkGoesWithAKilledProcess)
{
    const std::string name = globalName("vx-killed");
    vxtest::TempDir directory;
    SecondProcess other(name, directory.path().string(), true);
    ASSERT_TRUE(other.spawned());
    ASSERT_EQ(other.reportedError(), ERROR_SUCCESS);
    other.kill();

    ScopedHandle mine(CreateMutexA(nullptr, FALSE, name.c_str()));
    ASSERT_NE(mine.get(), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
}

TEST(GlobalName, TheMarkGoesWithTheLastHandle)
{
    const std::string name = globalName("vx-closed");
    ASSERT_TRUE(CloseHandle(CreateMutexA(nullptr, FALSE, name.c_str())));

    vxtest::TempDir directory;
    SecondProcess other(name, directory.path().string(), false);
    ASSERT_TRUE(other.spawned());
    EXPECT_EQ(other.reportedError(), ERROR_SUCCESS);
    EXPECT_EQ(other.waitForExit(), 0);
}

TEST(GlobalName, MarksLiveInTheRuntimeDirectory)
{
    const std::string name = globalName("vx-where");
    ScopedHandle mine(CreateEventA(nullptr, TRUE, FALSE, name.c_str()));
    const std::string file = platform::runtimeDirectory() + "/global-vx-where-" + std::to_string(getpid()) + ".lock";
    EXPECT_EQ(access(file.c_str(), F_OK), 0) << file;
}

}  // namespace
