#include "platform/cloud/ScriptedMetadataQueryBackend.h"

#include <unordered_map>
#include <unordered_set>

namespace {
std::string pathOf(const MetadataItemPtr& item) {
    auto url = item ? item->urlForAttribute(NSMetadataItemURLKey) : std::nullopt;
    return url ? url->path() : std::string();
}
}  // namespace

void ScriptedMetadataQueryBackend::start(const std::vector<std::string>& searchScopes,
                                         std::shared_ptr<MetadataQueryReporter> reporter) {
    bool gather;
    {
        std::lock_guard lock(mutex_);
        scopes_ = searchScopes;
        reporter_ = std::move(reporter);
        gather = gatherOnStart_;
    }
    if (gather) finishGathering();
}

void ScriptedMetadataQueryBackend::stop() {
    std::lock_guard lock(mutex_);
    reporter_.reset();
}

void ScriptedMetadataQueryBackend::setGatherOnStart(bool gather) {
    std::lock_guard lock(mutex_);
    gatherOnStart_ = gather;
}

std::vector<std::string> ScriptedMetadataQueryBackend::searchScopes() const {
    std::lock_guard lock(mutex_);
    return scopes_;
}

bool ScriptedMetadataQueryBackend::isRunning() const {
    return reporter() != nullptr;
}

void ScriptedMetadataQueryBackend::setResults(MetadataItemArray results) {
    std::lock_guard lock(mutex_);
    results_ = std::move(results);
}

MetadataItemArray ScriptedMetadataQueryBackend::results() const {
    std::lock_guard lock(mutex_);
    return results_;
}

std::shared_ptr<MetadataQueryReporter> ScriptedMetadataQueryBackend::reporter() const {
    std::lock_guard lock(mutex_);
    return reporter_;
}

void ScriptedMetadataQueryBackend::finishGathering() {
    if (auto r = reporter()) r->gatheringFinished(results());
}

void ScriptedMetadataQueryBackend::postUpdate(MetadataItemArray added, MetadataItemArray changed,
                                              MetadataItemArray removed) {
    MetadataItemArray results;
    {
        std::lock_guard lock(mutex_);
        if (!removed.empty()) {
            std::unordered_set<std::string> gone;
            for (const auto& item : removed) gone.insert(pathOf(item));
            std::erase_if(results_, [&](const MetadataItemPtr& item) { return gone.count(pathOf(item)) > 0; });
        }
        if (!changed.empty()) {
            std::unordered_map<std::string, MetadataItemPtr> replacements;
            for (const auto& item : changed) replacements[pathOf(item)] = item;
            for (auto& present : results_) {
                if (auto it = replacements.find(pathOf(present)); it != replacements.end()) present = it->second;
            }
        }
        results_.insert(results_.end(), added.begin(), added.end());
        results = results_;
    }
    if (auto r = reporter()) r->updated(std::move(added), std::move(changed), std::move(removed), std::move(results));
}

void ScriptedMetadataQueryBackend::postUpdateWithUserInfo(Notification::ObjectUserInfo userInfo) {
    if (auto r = reporter()) r->updatedWithUserInfo(std::move(userInfo), results());
}
