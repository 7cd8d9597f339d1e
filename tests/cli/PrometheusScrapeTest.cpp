// The real Prometheus server (Debian's `prometheus`) scrapes korvane-cli monitor's endpoint
// on loopback and answers a query for korvane_encoder_up. `make prometheus-check` installs
// the server and runs this with KORVANE_PROMETHEUS set, so there it must run; elsewhere it
// is skipped when no server is installed.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../EndsWithTest.h"
#include "CEncoderSim.h"
#include "CliProcess.h"
#include "MonitorSupport.h"

namespace {

using Clock = std::chrono::steady_clock;

// A child process whose standard output and error are read through one pipe.
class Child {
public:
    Child(const std::string& path, const std::vector<std::string>& args)
    {
        int out[2] = {-1, -1};
        if (pipe2(out, O_CLOEXEC) != 0) {
            return;
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(path.c_str()));
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        const pid_t test = getpid();
        pid_t pid = fork();
        if (pid == 0) {
            EndWithTest(test);
            dup2(out[1], STDOUT_FILENO);
            dup2(out[1], STDERR_FILENO);
            execv(path.c_str(), argv.data());
            _exit(127);
        }
        close(out[1]);
        m_out = out[0];
        m_pid = pid;
    }
    ~Child()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
            int status = 0;
            while (waitpid(m_pid, &status, WNOHANG) == 0) {
                if (Clock::now() > deadline) {
                    kill(m_pid, SIGKILL);
                    waitpid(m_pid, &status, 0);
                    break;
                }
                Read(50);
            }
        }
        if (m_out >= 0) {
            close(m_out);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Reads what the child printed within `waitMs`; the wait ends early when it prints.
    void Read(int waitMs)
    {
        pollfd fd{m_out, POLLIN, 0};
        if (m_out >= 0 && poll(&fd, 1, waitMs) > 0) {
            char buffer[8192];
            ssize_t count = read(m_out, buffer, sizeof buffer);
            if (count > 0) {
                m_log.append(buffer, static_cast<size_t>(count));
            } else {
                close(m_out);
                m_out = -1;
            }
        } else if (m_out < 0) {
            poll(nullptr, 0, waitMs);   // it has ended; the caller's deadline still bounds it
        }
    }
    const std::string& Log() const { return m_log; }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_log;
};

std::string PrometheusPath(bool& required)
{
    const char* given = std::getenv("KORVANE_PROMETHEUS");
    required = given != nullptr && *given != 0;
    return required ? given : "/usr/bin/prometheus";
}

uint16_t FreePort()
{
    LoopbackListener listener;
    return listener.Listen() ? listener.Port() : 0;
}

TEST(Prometheus, ScrapesTheMonitorAndAnswersAQueryForEncoderUp)
{
    bool required = false;
    const std::string prometheus = PrometheusPath(required);
    if (!std::filesystem::exists(prometheus)) {
        ASSERT_FALSE(required) << prometheus << " is missing";
        GTEST_SKIP() << "prometheus is not installed (Debian package prometheus; make prometheus-check installs "
                        "it and runs this test)";
    }

    SimOptions options;
    options.bindAddress = "127.0.13.2-3";
    CEncoderSim fleet(options);
    ASSERT_TRUE(fleet.Start()) << fleet.Error();
    const std::string work = FreshFolder();
    CliProcess monitor({"monitor", "127.0.13.2-4", "--port", std::to_string(fleet.CommandPort()), "--wait", "reply",
                        "--interval", "0.5", "--metrics", "127.0.0.1:0"},
                       work);
    const uint16_t metricsPort = MetricsPortOf(monitor);
    ASSERT_NE(metricsPort, 0) << monitor.Err();

    const uint16_t webPort = FreePort();
    ASSERT_NE(webPort, 0);
    WriteFile(work + "/prometheus.yml", "global:\n"
                                        "  scrape_interval: 1s\n"
                                        "  evaluation_interval: 1s\n"
                                        "scrape_configs:\n"
                                        "  - job_name: korvane\n"
                                        "    static_configs:\n"
                                        "      - targets: ['127.0.0.1:" +
                                            std::to_string(metricsPort) + "']\n");
    Child server(prometheus, {"--config.file=" + work + "/prometheus.yml", "--storage.tsdb.path=" + work + "/data",
                              "--web.listen-address=127.0.0.1:" + std::to_string(webPort)});

    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(60);
    while (server.Log().find("Server is ready to receive web requests") == std::string::npos &&
           Clock::now() < deadline) {
        server.Read(200);
    }
    ASSERT_NE(server.Log().find("Server is ready to receive web requests"), std::string::npos) << server.Log();

    const std::string query = "GET /api/v1/query?query=korvane_encoder_up HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                              "Connection: close\r\n\r\n";
    auto answered = [](const std::string& body) {
        return body.find("\"status\":\"success\"") != std::string::npos &&
               body.find("\"encoder\":\"127.0.13.2\"") != std::string::npos &&
               body.find("\"encoder\":\"127.0.13.4\"") != std::string::npos;
    };
    HttpReply reply;
    while (Clock::now() < deadline) {
        reply = HttpGet(webPort, query);
        if (answered(reply.body)) {
            break;
        }
        server.Read(250);   // the next scrape is at most a second away
    }
    ASSERT_TRUE(answered(reply.body)) << reply.raw << "\n" << server.Log();
    EXPECT_NE(reply.body.find("\"__name__\":\"korvane_encoder_up\""), std::string::npos) << reply.body;
    EXPECT_NE(reply.body.find("\"job\":\"korvane\""), std::string::npos) << reply.body;

    // The scrape itself succeeded: Prometheus keeps `up` per target.
    HttpReply up = HttpGet(webPort, "GET /api/v1/query?query=up%7Bjob%3D%22korvane%22%7D HTTP/1.1\r\n"
                                    "Host: 127.0.0.1\r\nConnection: close\r\n\r\n");
    EXPECT_NE(up.body.find("\"value\":["), std::string::npos) << up.body;
    EXPECT_NE(up.body.find(",\"1\"]"), std::string::npos) << up.body;

    monitor.Signal(SIGTERM);
    EXPECT_EQ(monitor.Wait(10000).status, 0);
}

}   // namespace
