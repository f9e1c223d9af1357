#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/foundation/URL.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/PickerView.h"
#include "platform/ui/TextField.h"

class FCCoverStyle;
class PickCoverStyleController;

class PickCoverStyleControllerDelegate {
public:
    virtual ~PickCoverStyleControllerDelegate() = default;
    // The picker has closed; the delegate drops its reference to the
    // controller.
    virtual void pickCoverStyleControllerDidFinish(PickCoverStyleController& controller) = 0;
    // The user moved a wheel: the new style (the colour pair and the icon
    // under the wheels, nothing else) for the document the picker was shown
    // for. The delegate applies it at once.
    virtual void pickCoverStyleController(PickCoverStyleController& controller,
                                          const std::shared_ptr<FCCoverStyle>& coverStyle,
                                          const std::optional<URL>& documentURL) = 0;
};

// The cover picker: one two-wheel picker (the colour pairs of FCCoverStyle
// on the left, its icons on the right) that takes the keyboard's place over
// whatever screen shows. It is no view controller: presenting puts an
// invisible text field into the container view and makes it first responder,
// with the picker as the field's input view and no shortcut bar above it.
//
// Every move of a wheel sends the delegate one new style. A tap anywhere in
// the container view ends the field's editing, which closes the picker: the
// field and the tap recogniser leave the container and the delegate hears
// pickCoverStyleControllerDidFinish once. The recogniser lets the tap go on
// to the view under it, so a tapped button still works. Editing also ends
// when another responder takes over, with the same effect.
//
// Made with create() each time the picker is shown (the user keeps it until
// the finish); the delegate is weak. Main thread only.
class PickCoverStyleController : public PickerViewDataSource,
                                 public PickerViewDelegate,
                                 public TextFieldDelegate,
                                 public std::enable_shared_from_this<PickCoverStyleController> {
public:
    static constexpr double kRowHeight = 44;
    static constexpr Size kColorSwatchSize{40, 40};
    static constexpr Size kIconSize{56, 40};

    // The field, the picker and the recogniser, wired to the controller.
    static std::shared_ptr<PickCoverStyleController> create();

    const std::weak_ptr<PickCoverStyleControllerDelegate>& delegate() const { return delegate_; }
    void setDelegate(std::weak_ptr<PickCoverStyleControllerDelegate> delegate) { delegate_ = std::move(delegate); }
    const std::optional<URL>& documentURL() const { return documentURL_; }
    const std::shared_ptr<TextField>& helperTextField() const { return helperTextField_; }
    // The picker (the field's input view).
    const std::shared_ptr<PickerView>& pickerView() const { return pickerView_; }
    // Present while the picker is shown.
    const std::shared_ptr<TapGestureRecognizer>& tapGestureRecognizer() const { return tapGestureRecognizer_; }
    std::shared_ptr<View> containerView() const { return containerView_.lock(); }

    // Opens the picker in the container view (which must be in a window)
    // for the document, with the wheels on the style: the colour wheel on
    // the first pair whose start colour is the style's, the icon wheel on
    // its icon, each on row 0 when there is no such entry.
    void present(const std::shared_ptr<View>& containerView, std::optional<URL> documentURL,
                 const FCCoverStyle& coverStyle);

    // Picker data source and delegate: 2 wheels of 44-point rows; colour
    // swatches of 40 x 40 and icons of 56 x 40 (template images tinted with
    // the label colour), made anew for every request.
    std::int64_t numberOfComponentsInPickerView(PickerView& pickerView) override;
    std::int64_t numberOfRowsInComponent(PickerView& pickerView, std::int64_t component) override;
    std::optional<double> rowHeightForComponent(PickerView& pickerView, std::int64_t component) override;
    std::shared_ptr<View> viewForRow(PickerView& pickerView, std::int64_t row, std::int64_t component,
                                     std::shared_ptr<View> reusingView) override;
    void didSelectRow(PickerView& pickerView, std::int64_t row, std::int64_t component) override;

    void textFieldDidEndEditing(TextField& textField) override;

    // The recogniser's action: ends the field's editing, by force.
    void handleTapToEndEditing(GestureRecognizer& recognizer);

private:
    PickCoverStyleController() = default;

    std::weak_ptr<PickCoverStyleControllerDelegate> delegate_;
    std::optional<URL> documentURL_;
    std::shared_ptr<TextField> helperTextField_;
    std::shared_ptr<PickerView> pickerView_;
    std::shared_ptr<TapGestureRecognizer> tapGestureRecognizer_;
    std::weak_ptr<View> containerView_;
};
