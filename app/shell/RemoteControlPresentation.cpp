#include "app/shell/RemoteControlPresentation.h"

#include "app/remote/RemoteControlUIViewController.h"
#include "platform/foundation/Error.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/ViewController.h"

std::shared_ptr<ViewController> presentRemoteControl(ViewController& presenter) {
    std::shared_ptr<Storyboard> storyboard;
    try {
        storyboard = Storyboard::storyboardWithName(RemoteControlUIViewController::kStoryboardName);
    } catch (const NamedException&) {
        RemoteControlUIViewController::registerStoryboard();
        storyboard = Storyboard::storyboardWithName(RemoteControlUIViewController::kStoryboardName);
    }
    auto remote = storyboard->instantiateInitialViewController();
    if (!remote) return nullptr;
    remote->view()->setTintColor(presenter.view()->tintColor());
    remote->setModalPresentationStyle(Device::current().userInterfaceIdiom() == UserInterfaceIdiom::Pad
                                          ? ModalPresentationStyle::FormSheet
                                          : ModalPresentationStyle::FullScreen);
    remote->setModalTransitionStyle(ModalTransitionStyle::CoverVertical);
    remote->setModalInPresentation(true);
    presenter.presentViewController(remote, true);
    return remote;
}
