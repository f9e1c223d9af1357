#include "app/net/DownloadSharedDeckViewController.h"

#include "platform/ui/Storyboard.h"
#include "platform/ui/View.h"

void DownloadSharedDeckViewController::addScene(Storyboard& storyboard) {
    storyboard.addScene<DownloadSharedDeckViewController>(kSceneIdentifier, [](DownloadSharedDeckViewController& c) {
        c.setView(std::make_shared<View>(Rect(0, 0, 320, 220)));
    });
}

void DownloadSharedDeckViewController::updateUI() {
    shownStates_.push_back(state_);
}
