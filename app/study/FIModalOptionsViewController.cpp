#include "app/study/FIModalOptionsViewController.h"

#include "app/study/RequiredOutlets.h"
#include "platform/ui/Color.h"
#include "platform/ui/TableView.h"

void FIModalOptionsViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    logMissingOutlets({{"self.contentView", static_cast<bool>(contentView_)}}, runtimeClassName(typeid(*this)));
    Layer& layer = view()->layer();
    layer.setShadowColor(Color::blackColor());
    layer.setShadowOffset({0, 8});
    layer.setShadowOpacity(0.5);
    layer.setShadowRadius(10);
    layer.setCornerRadius(3);
    if (contentView_) {
        contentView_->layer().setCornerRadius(3);
        contentView_->layer().setMasksToBounds(true);
    }
}

void FIModalOptionsViewController::dismissModal() {
    dismissViewController(true);
}
