#include "changer/change_ip.hpp"

#include <chrono>
#include <optional>
#include <system_error>
#include <thread>

#include "changer/login_cookie.hpp"
#include "changer/router_texts.hpp"
#include "http/http_request.hpp"
#include "regex/regex_matcher.hpp"

namespace tralvex {
namespace {

constexpr auto kPollDelay = std::chrono::milliseconds(200);
constexpr int kAddressMatch = 4;

// A status page read: the number of dotted quads on it and the fourth one.
struct StatusPage {
    int quads = 0;
    Text address;

    // Fewer than four dotted quads is no status page: a login page, a busy
    // router or a failed request.
    bool HasAddress() const { return quads >= kAddressMatch; }
};

class Run {
  public:
    Run(ChangeIpView& view, RunGuard& guard) : view_(view), guard_(guard) {}

    // The request object goes before the matcher, as it came first.
    ~Run() { request_.reset(); }

    RunResult Perform() {
        const router_texts::Texts& texts = router_texts::Get();
        router_ = view_.RouterAddress();
        cookie_ = MakeLoginCookie(view_.Password());

        StatusPage first = ReadStatus();
        if (!first.HasAddress()) {
            view_.ShowErrorBox(texts.loginFailed, texts.loginFailedTitle);
            return Finish(RunResult::Outcome::LoginFailed);
        }
        result_.oldAddress = first.address;
        view_.SetTip1(texts.currentIp + result_.oldAddress);
        view_.SetButtonEnabled(false);
        view_.SetButtonCaption(texts.working);

        int repeats = 0;
        while (guard_.MayCycle()) {
            Reconnect();
            std::optional<Text> address = PollForAddress();
            if (!address) break;
            result_.newAddress = *address;
            if (!guard_.IsRepeat(result_.newAddress, result_.oldAddress)) {
                view_.SetTip2(texts.newIp + result_.newAddress);
                view_.SetTip1(texts.previousIp + result_.oldAddress);
                view_.SetButtonCaption(texts.idle);
                view_.SetButtonEnabled(true);
                return Finish(RunResult::Outcome::NewAddress);
            }
            ++repeats;
            view_.SetTip2(texts.repeatFound + std::to_string(repeats) + texts.repeatTail);
        }
        return Finish(RunResult::Outcome::Stopped);
    }

  private:
    void Fetch(RouterRequest kind, const Text& path) {
        Text url = "http://" + router_ + path;
        request_->Open("GET", url);
        if (std::optional<RequestTimeouts> timeouts = guard_.TimeoutsFor(kind)) {
            request_->SetTimeouts(timeouts->resolve, timeouts->connect, timeouts->send,
                                  timeouts->receive);
        }
        request_->SetCookie(cookie_);
        request_->Send();
    }

    StatusPage ReadStatus() {
        Fetch(RouterRequest::Status, router_texts::Get().statusPath);
        matcher_.Create(router_texts::Get().addressPattern);
        StatusPage page;
        page.quads = matcher_.Execute(request_->ResponseBodyText());
        page.address = matcher_.MatchText(kAddressMatch);
        return page;
    }

    // The disconnect request and, whatever came of it, the connect request, so
    // that a run never leaves the router disconnected.
    void Reconnect() {
        Fetch(RouterRequest::Disconnect, router_texts::Get().disconnectPath);
        Fetch(RouterRequest::Connect, router_texts::Get().connectPath);
        ++result_.cycles;
    }

    // Polls until a page shows a non-zero address; a page without one, or
    // with "0.0.0.0", means the router is not back yet. Empty when the guard
    // ends the run first.
    std::optional<Text> PollForAddress() {
        const router_texts::Texts& texts = router_texts::Get();
        while (guard_.MayPoll()) {
            view_.SetTip2(texts.refreshing);
            StatusPage page = ReadStatus();
            ++result_.polls;
            if (page.HasAddress() && page.address != texts.zeroAddress) return page.address;
            std::this_thread::sleep_for(kPollDelay);
        }
        return std::nullopt;
    }

    RunResult Finish(RunResult::Outcome outcome) {
        result_.outcome = outcome;
        return result_;
    }

    ChangeIpView& view_;
    RunGuard& guard_;
    // The request object is made before the matcher and released before it;
    // the optional lets the destructor keep that order.
    std::optional<HttpRequest> request_{std::in_place};
    RegexMatcher matcher_;
    Text router_;
    Text cookie_;
    RunResult result_;
};

}  // namespace

RunResult ChangeIp(ChangeIpView& view, RunGuard& guard) {
    Run run(view, guard);
    return run.Perform();
}

void ChangeIp(ChangeIpView& view) {
    RunGuard unlimited;
    ChangeIp(view, unlimited);
}

void StartChangeIp(ChangeIpView& view) {
    try {
        std::thread([&view] { ChangeIp(view); }).detach();
    } catch (const std::system_error&) {
        // No thread could be started: the click has no effect.
    }
}

}  // namespace tralvex
