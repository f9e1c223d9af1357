#pragma once

// A metadata-query backend that tests drive: they set the results, and each
// report reaches the query's thread through its run loop, as the platform's
// would. Starting the query gathers the results set so far (finished from the
// run loop, not inside startQuery()), unless gatherOnStart is off.
//
// Every report needs a running query; without one it is dropped.

#include <memory>
#include <mutex>
#include <vector>

#include "platform/cloud/MetadataQuery.h"

class ScriptedMetadataQueryBackend : public MetadataQueryBackend {
public:
    void start(const std::vector<std::string>& searchScopes, std::shared_ptr<MetadataQueryReporter> reporter) override;
    void stop() override;

    void setGatherOnStart(bool gather);
    // The scopes of the last start.
    std::vector<std::string> searchScopes() const;
    bool isRunning() const;

    // The results of the container as the next gathering or update reports them.
    void setResults(MetadataItemArray results);
    MetadataItemArray results() const;

    // Reports a (new) gathering of the current results.
    void finishGathering();
    // Applies the change to the results (added appended, changed replaced by
    // URL path, removed dropped) and reports it.
    void postUpdate(MetadataItemArray added, MetadataItemArray changed, MetadataItemArray removed);
    // Reports an update with this user info and the current results.
    void postUpdateWithUserInfo(Notification::ObjectUserInfo userInfo);

private:
    std::shared_ptr<MetadataQueryReporter> reporter() const;

    mutable std::mutex mutex_;
    bool gatherOnStart_ = true;
    std::vector<std::string> scopes_;
    std::shared_ptr<MetadataQueryReporter> reporter_;
    MetadataItemArray results_;
};
