#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/PickerView.h"

// A one-wheel picker of fixed titles; it is its own data source and
// delegate (wired up by make() or, from an interface file, awakeFromNib).
class PredefinedPickerView : public PickerView, public PickerViewDataSource, public PickerViewDelegate {
public:
    static std::shared_ptr<PredefinedPickerView> make(const Rect& frame);
    explicit PredefinedPickerView(const Rect& frame) : PickerView(frame) {}
    explicit PredefinedPickerView(const Coder& coder) : PickerView(coder) {}

    const std::vector<std::string>& rows() const { return rows_; }
    void setRows(std::vector<std::string> rows) { rows_ = std::move(rows); }

    void awakeFromNib() override;

    // The picker's own questions next to the data source's answers.
    using PickerView::numberOfRowsInComponent;
    using PickerView::titleForRow;
    using PickerView::viewForRow;
    using PickerViewDelegate::viewForRow;
    std::int64_t numberOfComponentsInPickerView(PickerView& pickerView) override;
    std::int64_t numberOfRowsInComponent(PickerView& pickerView, std::int64_t component) override;
    std::optional<std::string> titleForRow(PickerView& pickerView, std::int64_t row, std::int64_t component) override;

private:
    void connect();
    std::vector<std::string> rows_;
};
