#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/PickerView.h"
#include "platform/ui/View.h"

// The card editor's text colour picker: two wheels of colour swatches, the
// text colours and the background colours. A tap on the selected band
// dismisses it.
class TextColorPickerView : public View,
                            public PickerViewDataSource,
                            public PickerViewDelegate,
                            public GestureRecognizerDelegate {
public:
    static constexpr Size colorViewSize{60, 32};
    static constexpr const char* kBackgroundColorImageName = "iOS-background-color";

    // From the editor's interface file, which holds the picker.
    explicit TextColorPickerView(const Coder& coder);

    const std::shared_ptr<PickerView>& pickerView() const { return pickerView_; }
    const std::vector<Color>& foregroundColors() const { return foregroundColors_; }
    void setForegroundColors(std::vector<Color> colors) { foregroundColors_ = std::move(colors); }
    const std::vector<Color>& backgroundColors() const { return backgroundColors_; }
    void setBackgroundColors(std::vector<Color> colors) { backgroundColors_ = std::move(colors); }

    std::function<void()> foregroundColorChanged;
    std::function<void()> backgroundColorChanged;
    std::function<void()> dismissPicker;

    void awakeFromNib() override;
    void pickerTappedWithTapRecognizer(GestureRecognizer& recognizer);

    // Picker data source and delegate.
    std::int64_t numberOfComponentsInPickerView(PickerView& pickerView) override;
    std::int64_t numberOfRowsInComponent(PickerView& pickerView, std::int64_t component) override;
    std::optional<double> rowHeightForComponent(PickerView& pickerView, std::int64_t component) override;
    std::optional<double> widthForComponent(PickerView& pickerView, std::int64_t component) override;
    std::shared_ptr<View> viewForRow(PickerView& pickerView, std::int64_t row, std::int64_t component,
                                     std::shared_ptr<View> reusingView) override;
    void didSelectRow(PickerView& pickerView, std::int64_t row, std::int64_t component) override;

    // Recognises together with the picker's own gestures.
    bool shouldRecognizeSimultaneouslyWithGestureRecognizer(GestureRecognizer& recognizer,
                                                            GestureRecognizer& other) override;

private:
    std::shared_ptr<PickerView> pickerView_;
    std::vector<Color> foregroundColors_;
    std::vector<Color> backgroundColors_;
};
