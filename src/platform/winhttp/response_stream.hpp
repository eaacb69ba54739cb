#pragma once

// The stream the request object hands out as its ResponseStream: the body
// read from the start, piece by piece. It shares the body, so it stays
// readable after the request object is gone.

#include <memory>
#include <span>

#include "automation/dispatch.hpp"
#include "text/text.hpp"

namespace tralvex::winhttp {

class ResponseStream : public automation::Dispatch {
  public:
    explicit ResponseStream(std::shared_ptr<const Bytes> body) : body_(std::move(body)) {}

    const automation::TypeInfo* GetTypeInfo() const override;
    automation::InvokeOutcome Invoke(automation::DispId id, automation::InvokeKind kind,
                                     std::span<const automation::Variant> args) override;

    // Read([count]): the next `count` bytes (all that are left when omitted)
    // as a byte array, fewer at the end, none once everything has been read.
    automation::InvokeOutcome Read(std::span<const automation::Variant> args);

  private:
    std::shared_ptr<const Bytes> body_;
    std::size_t position_ = 0;
};

}  // namespace tralvex::winhttp
