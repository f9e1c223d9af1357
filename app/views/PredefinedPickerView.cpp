#include "app/views/PredefinedPickerView.h"

std::shared_ptr<PredefinedPickerView> PredefinedPickerView::make(const Rect& frame) {
    auto picker = std::make_shared<PredefinedPickerView>(frame);
    picker->connect();
    return picker;
}

void PredefinedPickerView::awakeFromNib() {
    PickerView::awakeFromNib();
    connect();
}

void PredefinedPickerView::connect() {
    auto self = std::static_pointer_cast<PredefinedPickerView>(shared_from_this());
    setDataSource(std::weak_ptr<PickerViewDataSource>(self));
    setDelegate(std::weak_ptr<PickerViewDelegate>(self));
}

std::int64_t PredefinedPickerView::numberOfComponentsInPickerView(PickerView&) {
    return 1;
}

std::int64_t PredefinedPickerView::numberOfRowsInComponent(PickerView&, std::int64_t) {
    return static_cast<std::int64_t>(rows_.size());
}

std::optional<std::string> PredefinedPickerView::titleForRow(PickerView&, std::int64_t row, std::int64_t) {
    if (row < 0 || row >= static_cast<std::int64_t>(rows_.size())) return std::nullopt;
    return rows_[static_cast<std::size_t>(row)];
}
