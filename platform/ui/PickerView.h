#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/View.h"

class PickerView;

class PickerViewDataSource {
public:
    virtual ~PickerViewDataSource() = default;
    virtual std::int64_t numberOfComponentsInPickerView(PickerView& pickerView) = 0;
    virtual std::int64_t numberOfRowsInComponent(PickerView& pickerView, std::int64_t component) = 0;
};

// Every method is optional: nullopt and nullptr stand for "not implemented".
class PickerViewDelegate {
public:
    virtual ~PickerViewDelegate() = default;
    virtual std::optional<std::string> titleForRow(PickerView& /*pickerView*/, std::int64_t /*row*/,
                                                   std::int64_t /*component*/) {
        return std::nullopt;
    }
    // The view of a row; `reusingView` is one the picker made for it before.
    virtual std::shared_ptr<View> viewForRow(PickerView& /*pickerView*/, std::int64_t /*row*/,
                                             std::int64_t /*component*/, std::shared_ptr<View> /*reusingView*/) {
        return nullptr;
    }
    virtual std::optional<double> rowHeightForComponent(PickerView& /*pickerView*/, std::int64_t /*component*/) {
        return std::nullopt;
    }
    virtual std::optional<double> widthForComponent(PickerView& /*pickerView*/, std::int64_t /*component*/) {
        return std::nullopt;
    }
    // The user picked a row.
    virtual void didSelectRow(PickerView& /*pickerView*/, std::int64_t /*row*/, std::int64_t /*component*/) {}
};

// A wheel picker: components of rows, one selected row in each, shown in a
// band across the middle of the view, the rows around them above and below. Rows show the delegate's view or a
// label with its title. The user turns a wheel by tapping a row above or
// below the band, by dragging it up or down, or (tests) with UIDriver::pickRow.
class PickerView : public View {
public:
    static constexpr double kDefaultRowHeight = 32;

    PickerView();
    explicit PickerView(const Rect& frame);
    explicit PickerView(const Coder& coder);

    const std::weak_ptr<PickerViewDataSource>& dataSource() const { return dataSource_; }
    void setDataSource(std::weak_ptr<PickerViewDataSource> dataSource) { dataSource_ = std::move(dataSource); }
    const std::weak_ptr<PickerViewDelegate>& delegate() const { return delegate_; }
    void setDelegate(std::weak_ptr<PickerViewDelegate> delegate) { delegate_ = std::move(delegate); }

    std::int64_t numberOfComponents() const;
    std::int64_t numberOfRowsInComponent(std::int64_t component) const;
    // Width and height of a component's rows.
    Size rowSizeForComponent(std::int64_t component) const;
    // The view that shows a row (the delegate's, else a label with its title).
    std::shared_ptr<View> viewForRow(std::int64_t row, std::int64_t component);
    std::optional<std::string> titleForRow(std::int64_t row, std::int64_t component) const;

    // Selects without telling the delegate (a program's choice); the row is
    // kept within the component's rows.
    void selectRow(std::int64_t row, std::int64_t component, bool animated);
    // -1 when the component has no rows.
    std::int64_t selectedRowInComponent(std::int64_t component) const;
    void reloadAllComponents();
    void reloadComponent(std::int64_t component);

    void layoutSubviews() override;
    void drawRect(const Rect& rect) override;
    Size intrinsicContentSize() const override { return {320, 216}; }

private:
    // The component whose rows lie at x, or -1.
    std::int64_t componentAtX(double x) const;
    // Turns a wheel by rows (kept within its rows) as the user does: the
    // delegate hears of the new row.
    void turnWheel(std::int64_t component, std::int64_t rows);

    std::weak_ptr<PickerViewDataSource> dataSource_;
    std::weak_ptr<PickerViewDelegate> delegate_;
    std::map<std::int64_t, std::int64_t> selected_;
    std::map<std::pair<std::int64_t, std::int64_t>, std::shared_ptr<View>> rowViews_;
};
