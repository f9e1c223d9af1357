#pragma once

#include <functional>

#include "platform/foundation/Error.h"

// Main-queue calls (class operations on the platform's object
// class): a null block does nothing; otherwise the block is queued
// asynchronously on the main queue and called there with the given values.
// The block never runs before the call returns, not even on the main thread.
void twAsyncCallCompletionHandlerOnMainQueue(const std::function<void()>& block);
void twAsyncCallCompletionHandlerOnMainQueue(const std::function<void(const Error& error)>& block, const Error& error);
void twAsyncCallCompletionHandlerOnMainQueue(const std::function<void(const Error& error, bool flag)>& block,
                                             const Error& error, bool flag);
