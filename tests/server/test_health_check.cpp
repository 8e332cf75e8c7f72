// The load balancer's health check over loopback: the answer follows the probe, and anything but the
// one request it serves is answered plainly and closed.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "RawSocket.h"
#include "THealthCheck.h"

namespace wl {
namespace {

class HealthCheck : public testing::Test {
  protected:
    HealthCheck() {
        port_ = check_.Listen("127.0.0.1", 0).port();
        thread_ = std::thread([this] { io_.run(); });
    }
    ~HealthCheck() override {
        boost::asio::post(io_, [this] { check_.Stop(); });
        work_.reset();
        thread_.join();
    }

    // The whole answer, up to the server closing the connection.
    std::string Ask(const std::string& request) {
        test::TRawSocket socket(port_);
        socket.Write(request);
        std::string answer;
        for (std::string part = socket.Read(4096); !part.empty(); part = socket.Read(4096)) answer += part;
        return answer;
    }

    std::atomic<bool> healthy_{true};
    boost::asio::io_context io_;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> work_{io_.get_executor()};
    THealthCheck check_{io_, [this] { return healthy_.load(); }};
    std::uint16_t port_ = 0;
    std::thread thread_;
};

TEST_F(HealthCheck, AnswersEachRequestByWhatItAsksAndHowTheInstanceStands) {
    const struct {
        bool healthy;
        std::string request;
        std::string statusLine, body;
    } cases[] = {
        {true, "GET /health HTTP/1.1\r\nHost: lb\r\n\r\n", "HTTP/1.1 200 OK", "ok\n"},
        {false, "GET /health HTTP/1.1\r\nHost: lb\r\n\r\n", "HTTP/1.1 503 Service Unavailable",
         "unavailable\n"},
        {true, "GET /health HTTP/1.0\r\n\r\n", "HTTP/1.1 200 OK", "ok\n"},
        {true, "GET /healthz HTTP/1.1\r\nHost: lb\r\n\r\n", "HTTP/1.1 404 Not Found", "not found\n"},
        {true, "POST /health HTTP/1.1\r\nHost: lb\r\nContent-Length: 0\r\n\r\n", "HTTP/1.1 404 Not Found",
         "not found\n"},
        {true, "hello there\r\n\r\n", "HTTP/1.1 400 Bad Request", "bad request\n"},
        {false, "GET /" + std::string(8000, 'x') + " HTTP/1.1\r\n\r\n", "HTTP/1.1 400 Bad Request",
         "bad request\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request.substr(0, 40));
        healthy_ = c.healthy;
        const std::string answer = Ask(c.request);
        EXPECT_TRUE(answer.starts_with(c.statusLine + "\r\n")) << answer;
        EXPECT_TRUE(answer.ends_with("\r\n\r\n" + c.body)) << answer;
    }
}

TEST_F(HealthCheck, AClientThatNeverAsksIsClosedAndOthersAreStillAnswered) {
    test::TRawSocket silent(port_);
    EXPECT_EQ(Ask("GET /health HTTP/1.1\r\n\r\n").substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_EQ(silent.Read(16), "");  // closed after THealthCheck::kTimeout, before the socket's own 5 s
}

}  // namespace
}  // namespace wl
