#pragma once

#include <memory>

class ViewController;

// Shows the remote-control screen (the initial scene of the storyboard
// "RemoteControl") over a screen: its view takes the presenter's tint colour,
// it is a form sheet on iPad and full screen otherwise, with the vertical
// cover transition, modal in presentation, presented animated. Used by the
// deck library. Returns the presented screen (null when
// the storyboard has no initial scene).
std::shared_ptr<ViewController> presentRemoteControl(ViewController& presenter);
