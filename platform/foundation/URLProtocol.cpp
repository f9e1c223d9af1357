#include "platform/foundation/URLProtocol.h"

#include <algorithm>
#include <mutex>

#include "platform/foundation/Dispatch.h"
#include "platform/net/URLError.h"

namespace {

std::mutex& classesMutex() {
    static std::mutex mutex;
    return mutex;
}

std::vector<URLProtocol::ProtocolClass>& classes() {
    static std::vector<URLProtocol::ProtocolClass> registered;
    return registered;
}

DispatchQueue& loadingQueue() {
    static std::shared_ptr<DispatchQueue> queue = DispatchQueue::create("com.memorant.URLLoadingSystem");
    return *queue;
}

}  // namespace

bool URLProtocol::registerClass(ProtocolClass protocolClass) {
    std::lock_guard lock(classesMutex());
    auto& all = classes();
    if (std::any_of(all.begin(), all.end(), [&](const ProtocolClass& c) { return c.name == protocolClass.name; }))
        return false;
    all.push_back(std::move(protocolClass));
    return true;
}

void URLProtocol::unregisterClass(const std::string& name) {
    std::lock_guard lock(classesMutex());
    auto& all = classes();
    all.erase(std::remove_if(all.begin(), all.end(), [&](const ProtocolClass& c) { return c.name == name; }),
              all.end());
}

std::vector<std::string> URLProtocol::registeredClassNames() {
    std::lock_guard lock(classesMutex());
    std::vector<std::string> names;
    for (auto it = classes().rbegin(); it != classes().rend(); ++it) names.push_back(it->name);
    return names;
}

void URLLoadingTask::cancel() {
    if (cancelled_ || !protocol_) return;
    cancelled_ = true;
    auto protocol = protocol_;
    loadingQueue().async([protocol] { protocol->stopLoading(); });
}

std::shared_ptr<URLLoadingTask> URLLoadingSystem::load(const URLRequest& request,
                                                       std::shared_ptr<URLProtocolClient> client) {
    std::optional<URLProtocol::ProtocolClass> chosen;
    {
        std::lock_guard lock(classesMutex());
        auto& all = classes();
        for (auto it = all.rbegin(); it != all.rend(); ++it)
            if (it->canInitWithRequest(request)) {
                chosen = *it;
                break;
            }
    }
    auto task = std::make_shared<URLLoadingTask>();
    if (!chosen) {
        loadingQueue().async([client, request] {
            struct Unanswered : URLProtocol {
                using URLProtocol::URLProtocol;
                void startLoading() override {}
                void stopLoading() override {}
            } none(request, client);
            client->urlProtocolDidFailWithError(none, makeURLError(kUnsupportedURLErrorCode, request.url()));
        });
        return task;
    }
    task->protocol_ = chosen->make(chosen->canonicalRequestForRequest(request), std::move(client));
    auto protocol = task->protocol_;
    loadingQueue().async([protocol] { protocol->startLoading(); });
    return task;
}

void URLLoadingSystem::waitForLoadingThread() {
    loadingQueue().sync([] {});
}
