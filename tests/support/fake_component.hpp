#pragma once

// A recording fake component for call-sequence tests: registered under a
// ProgID for the life of a test, it writes every creation, call and release to
// a shared log as one line of text, and answers each call through a function
// the test gives.

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "automation/dispatch.hpp"
#include "automation/registry.hpp"

namespace tralvex::testing {

// One member the fake offers: its name and which of get, put and call it takes.
struct FakeMember {
    std::string name;
    bool get = false;
    bool put = false;
    bool method = false;
    int maxArgs = 16;
};

struct FakeCall {
    std::string object;  // "#1", "#2", ... in the order of creation
    std::string name;
    automation::InvokeKind kind;
    std::vector<automation::Variant> args;
};

using FakeResponder = std::function<automation::InvokeOutcome(const FakeCall&)>;

class CallLog {
  public:
    void Add(std::string line) { lines_.push_back(std::move(line)); }
    const std::vector<std::string>& Lines() const { return lines_; }
    void Clear() { lines_.clear(); }

  private:
    std::vector<std::string> lines_;
};

// A readable form of a value for the log: true, 5, 2.5, "text", missing,
// empty, bytes[3], object.
std::string Describe(const automation::Variant& value);

class FakeComponent : public automation::Dispatch {
  public:
    FakeComponent(std::shared_ptr<CallLog> log, std::string label,
                  const std::vector<FakeMember>& members, FakeResponder responder);
    ~FakeComponent() override;

    const automation::TypeInfo* GetTypeInfo() const override { return &info_; }
    automation::InvokeOutcome Invoke(automation::DispId id, automation::InvokeKind kind,
                                     std::span<const automation::Variant> args) override;

  private:
    std::shared_ptr<CallLog> log_;
    std::string label_;
    std::vector<std::string> names_;
    automation::TypeInfo info_;
    FakeResponder responder_;
};

// Registers fakes under a ProgID while it lives. Every object created through
// it is labelled "#1", "#2", ...; the log gets "create #n", then one line per
// call ("put #1.Pattern(\"a\")", "get #1.Count()", "call #1.Open(...)"), and
// "release #n" when the object's last reference goes.
class ScopedFake {
  public:
    ScopedFake(std::string progId, std::vector<FakeMember> members, FakeResponder responder = {});

    const std::shared_ptr<CallLog>& Log() const { return log_; }
    std::vector<std::string> Lines() const { return log_->Lines(); }
    // Objects the fake makes from now on are not created (the factory fails).
    void FailCreation(bool fail) { *failCreation_ = fail; }

  private:
    std::shared_ptr<CallLog> log_ = std::make_shared<CallLog>();
    std::shared_ptr<bool> failCreation_ = std::make_shared<bool>(false);
    automation::ScopedComponent registration_;
};

// Initialises the component library for the test's thread while it lives.
class ScopedCoInit {
  public:
    ScopedCoInit() { automation::CoInitialize(); }
    ~ScopedCoInit() { automation::CoUninitialize(); }
    ScopedCoInit(const ScopedCoInit&) = delete;
    ScopedCoInit& operator=(const ScopedCoInit&) = delete;
};

}  // namespace tralvex::testing
