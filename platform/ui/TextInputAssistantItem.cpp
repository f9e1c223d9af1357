#include "platform/ui/TextInputAssistantItem.h"

TextInputAssistantItem::TextInputAssistantItem() {
    leading_.push_back({{BarButtonItem::withSystemItem(BarButtonSystemItem::Undo),
                         BarButtonItem::withSystemItem(BarButtonSystemItem::Redo)}});
    trailing_.push_back({{BarButtonItem::withTitle("Paste", BarButtonItemStyle::Plain)}});
}

#include "platform/ui/TextField.h"

TextInputAssistantItem& TextField::inputAssistantItem() {
    if (!inputAssistantItem_) inputAssistantItem_ = std::make_shared<TextInputAssistantItem>();
    return *inputAssistantItem_;
}
