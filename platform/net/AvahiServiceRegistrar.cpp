#include "platform/net/AvahiServiceRegistrar.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/error.h>
#include <avahi-common/watch.h>
#include <sys/time.h>

#include <map>

#include "platform/foundation/RunLoop.h"

namespace {

// ---- Avahi's polling on our run loop ----

unsigned interestOf(AvahiWatchEvent event) {
    unsigned interest = 0;
    if (event & AVAHI_WATCH_IN) interest |= FileDescriptorSource::Readable;
    if (event & AVAHI_WATCH_OUT) interest |= FileDescriptorSource::Writable;
    return interest;
}

}  // namespace

struct AvahiWatch {
    std::shared_ptr<FileDescriptorSource> source;
    AvahiWatchEvent happened = static_cast<AvahiWatchEvent>(0);
};

struct AvahiTimeout {
    std::shared_ptr<Timer> timer;
    AvahiTimeoutCallback callback;
    void* userdata;
};

namespace {

AvahiWatch* watchNew(const AvahiPoll*, int fd, AvahiWatchEvent event, AvahiWatchCallback callback, void* userdata) {
    auto* watch = new AvahiWatch;
    watch->source = FileDescriptorSource::create(
        fd, interestOf(event), [watch, callback, userdata](FileDescriptorSource& source, unsigned events) {
            unsigned happened = 0;
            if (events & FileDescriptorSource::Readable) happened |= AVAHI_WATCH_IN;
            if (events & FileDescriptorSource::Writable) happened |= AVAHI_WATCH_OUT;
            if (events & FileDescriptorSource::HangUp) happened |= AVAHI_WATCH_HUP;
            if (events & FileDescriptorSource::Failure) happened |= AVAHI_WATCH_ERR;
            watch->happened = static_cast<AvahiWatchEvent>(happened);
            callback(watch, source.fd(), watch->happened, userdata);
        });
    RunLoop::current().addSource(watch->source);
    return watch;
}

void watchUpdate(AvahiWatch* watch, AvahiWatchEvent event) {
    watch->source->setInterest(interestOf(event));
}

AvahiWatchEvent watchGetEvents(AvahiWatch* watch) {
    return watch->happened;
}

void watchFree(AvahiWatch* watch) {
    watch->source->invalidate();
    delete watch;
}

void armTimeout(AvahiTimeout* timeout, const struct timeval* tv) {
    if (timeout->timer) timeout->timer->invalidate();
    timeout->timer.reset();
    if (!tv) return;
    struct timeval now;
    gettimeofday(&now, nullptr);
    const double seconds =
        std::max(0.0, static_cast<double>(tv->tv_sec - now.tv_sec) + (tv->tv_usec - now.tv_usec) / 1e6);
    timeout->timer = Timer::scheduledTimer(seconds, false, [timeout](Timer&) {
        timeout->timer.reset();
        timeout->callback(timeout, timeout->userdata);
    });
}

AvahiTimeout* timeoutNew(const AvahiPoll*, const struct timeval* tv, AvahiTimeoutCallback callback, void* userdata) {
    auto* timeout = new AvahiTimeout{nullptr, callback, userdata};
    armTimeout(timeout, tv);
    return timeout;
}

void timeoutUpdate(AvahiTimeout* timeout, const struct timeval* tv) {
    armTimeout(timeout, tv);
}

void timeoutFree(AvahiTimeout* timeout) {
    if (timeout->timer) timeout->timer->invalidate();
    delete timeout;
}

const AvahiPoll kRunLoopPoll = {nullptr,    watchNew,      watchUpdate,   watchGetEvents,
                                watchFree, timeoutNew, timeoutUpdate, timeoutFree};

std::string withoutTrailingDot(std::string text) {
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

std::map<std::string, std::int64_t> errorDictionary(std::int64_t code) {
    return {{NSNetServicesErrorCode, code}, {NSNetServicesErrorDomain, kNetServicesRegistrarErrorDomain}};
}

// One registration: its client, its entry group and the answer still owed.
class AvahiRegistration {
public:
    AvahiRegistration(NetServiceRegistrar::Record record, NetServiceRegistrar::Completion completion)
        : record_(std::move(record)), completion_(std::move(completion)) {}
    ~AvahiRegistration() {
        if (group_) avahi_entry_group_free(group_);
        if (client_) avahi_client_free(client_);
    }
    AvahiRegistration(const AvahiRegistration&) = delete;
    AvahiRegistration& operator=(const AvahiRegistration&) = delete;

    void start() {
        int error = 0;
        client_ = avahi_client_new(&kRunLoopPoll, static_cast<AvahiClientFlags>(0), &clientCallback, this, &error);
        if (!client_) answerLater(NSNetServicesUnknownError);  // no daemon
    }

private:
    static void clientCallback(AvahiClient* client, AvahiClientState state, void* userdata) {
        auto* self = static_cast<AvahiRegistration*>(userdata);
        if (!self->client_) self->client_ = client;  // called from within avahi_client_new
        switch (state) {
            case AVAHI_CLIENT_S_RUNNING: self->addService(); break;
            case AVAHI_CLIENT_FAILURE: self->answer(NSNetServicesUnknownError); break;
            case AVAHI_CLIENT_S_COLLISION:
            case AVAHI_CLIENT_S_REGISTERING:
            case AVAHI_CLIENT_CONNECTING: break;
        }
    }

    static void groupCallback(AvahiEntryGroup*, AvahiEntryGroupState state, void* userdata) {
        auto* self = static_cast<AvahiRegistration*>(userdata);
        switch (state) {
            case AVAHI_ENTRY_GROUP_ESTABLISHED: self->answer(0); break;
            case AVAHI_ENTRY_GROUP_COLLISION: self->answer(NSNetServicesCollisionError); break;
            case AVAHI_ENTRY_GROUP_FAILURE: self->answer(NSNetServicesUnknownError); break;
            case AVAHI_ENTRY_GROUP_UNCOMMITED:
            case AVAHI_ENTRY_GROUP_REGISTERING: break;
        }
    }

    void addService() {
        if (group_ || !completion_) return;
        group_ = avahi_entry_group_new(client_, &groupCallback, this);
        if (!group_) return answer(NSNetServicesUnknownError);
        const std::string type = withoutTrailingDot(record_.type);
        const std::string domain = withoutTrailingDot(record_.domain);
        const int result = avahi_entry_group_add_service(
            group_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, static_cast<AvahiPublishFlags>(0), record_.name.c_str(),
            type.c_str(), domain.empty() || domain == "local" ? nullptr : domain.c_str(), nullptr,
            static_cast<std::uint16_t>(record_.port), nullptr);
        if (result == AVAHI_ERR_COLLISION) return answer(NSNetServicesCollisionError);
        if (result < 0) return answer(NSNetServicesBadArgumentError);
        if (avahi_entry_group_commit(group_) < 0) answer(NSNetServicesUnknownError);
    }

    void answer(std::int64_t code) {
        auto completion = std::move(completion_);
        completion_ = nullptr;
        if (completion) completion(code ? errorDictionary(code) : std::map<std::string, std::int64_t>{});
    }
    void answerLater(std::int64_t code) {
        auto completion = std::move(completion_);
        completion_ = nullptr;
        RunLoop::current().perform([completion, code] { completion(errorDictionary(code)); });
    }

    NetServiceRegistrar::Record record_;
    NetServiceRegistrar::Completion completion_;
    AvahiClient* client_ = nullptr;
    AvahiEntryGroup* group_ = nullptr;
};

class AvahiServiceRegistrar : public NetServiceRegistrar {
public:
    Registration registerService(const Record& record, Completion completion) override {
        const Registration registration = next_++;
        // The completion may end the registration (the service stops on a
        // failure): it runs through the loop, never inside Avahi's callback.
        auto guarded = [completion = std::move(completion)](const std::map<std::string, std::int64_t>& error) {
            RunLoop::current().perform([completion, error] { completion(error); });
        };
        auto entry = std::make_unique<AvahiRegistration>(record, std::move(guarded));
        auto* raw = entry.get();
        registrations_.emplace(registration, std::move(entry));
        raw->start();
        return registration;
    }
    void unregisterService(Registration registration) override { registrations_.erase(registration); }

private:
    Registration next_ = 1;
    std::map<Registration, std::unique_ptr<AvahiRegistration>> registrations_;
};

}  // namespace

std::shared_ptr<NetServiceRegistrar> makeAvahiServiceRegistrar() {
    return std::make_shared<AvahiServiceRegistrar>();
}

std::shared_ptr<NetServiceRegistrar> makeSystemServiceRegistrar() {
    return makeAvahiServiceRegistrar();
}
