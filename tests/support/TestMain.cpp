// Every suite's main: GoogleTest's, plus one switch for testing the test
// bench. VL_TEST_HANG=Suite.Case makes that case hang as a faulty test would:
// it takes the service's port on the loopback and never returns. The bench
// must end the suite at its time-out, show that case as the last one started,
// and free the port for the suites after it.
//
// A crash ends the suite at once with a failure that names the case. Left to
// Wine, it starts its debugger, whose crash dialog waits on the test's
// display until the time-out; without the dialog the suite would end as
// passed.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

class HangSwitch : public testing::EmptyTestEventListener {
public:
    explicit HangSwitch(std::string name) : name_(std::move(name)) {}

    void OnTestStart(const testing::TestInfo& info) override
    {
        if (name_ != std::string(info.test_suite_name()) + "." + info.name()) return;
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(80);
        const bool held = bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
                          listen(listener, 1) == 0;
        std::printf("VL_TEST_HANG: %s hangs %s port 80\n", name_.c_str(), held ? "holding" : "without");
        std::fflush(stdout);
        for (;;) Sleep(INFINITE);
    }

private:
    std::string name_;
};

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception)
{
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::fflush(stdout);
    std::printf("\nCRASH: exception 0x%08lX at %p in %s.%s\n", exception->ExceptionRecord->ExceptionCode,
                exception->ExceptionRecord->ExceptionAddress, test ? test->test_suite_name() : "(no test)",
                test ? test->name() : "");
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

int main(int argc, char** argv)
{
    SetUnhandledExceptionFilter(&ReportCrash);
    testing::InitGoogleTest(&argc, argv);
    if (const char* hang = std::getenv("VL_TEST_HANG"); hang && *hang) {
        testing::UnitTest::GetInstance()->listeners().Append(new HangSwitch(hang));
    }
    return RUN_ALL_TESTS();
}
