#include "model/FCCDeckPreview.h"

std::shared_ptr<FCCDeckPreview> FCCDeckPreview::unknownPreviewForDeckWithId(std::optional<std::string> identifier) {
    auto preview = std::make_shared<FCCDeckPreview>();
    preview->setIdentifier(std::move(identifier));
    preview->setTitle("???");
    preview->setCoverStyle(FCCoverStyle::defaultStyle());
    preview->setContentModificationDate(Date::distantPast());
    return preview;
}
