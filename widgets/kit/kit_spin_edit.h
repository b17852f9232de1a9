// The kit's spin edit: a numeric edit (integer, float or hexadecimal) with a spin button at its
// right edge; the button, the Up and Down keys and typing change a value kept between a minimum
// and a maximum.
#pragma once

#include <windows.h>

#include <string>

#include "classlib/controls.h"
#include "classlib/std_edit.h"
#include "classlib/std_text.h"
#include "widgets/kit/kit_spin_button.h"

namespace widgets::kit {

enum class TValueType { vtInteger, vtFloat, vtHex };
enum class TSpinButtonKind { bkStandard, bkDiagonal };

// Reads and writes its value through its text. Value is always within MinValue..MaxValue (when
// they differ): a typed number out of range reads as the nearest limit and is written back so
// when the edit is left. OnChange fires only when the value changes, typed or stepped. Tab and
// Shift+Tab move the focus to the next or previous field; neither they nor a line break are typed.
class TKitSpinEdit : public classlib::TCustomEdit {
public:
    CLASSLIB_CLASS_NAME(TKitSpinEdit)
    explicit TKitSpinEdit(classlib::TComponent* AOwner);
    ~TKitSpinEdit() override;

    // The text's value, within the limits; MinValue for a text that is no number.
    double Value();
    void SetValue(double NewValue);
    // Value truncated toward zero.
    int AsInteger();
    // A text that is no number or lies outside the limits (typed and not yet left, or set by
    // another program) is refused: the last value within them comes back, with a beep, and the
    // answer is false. Owners run it before they use a value that the edit must show.
    bool CheckText();
    void SetAsInteger(int NewValue) { SetValue(NewValue); }
    double MinValue() const { return minValue_; }
    void SetMinValue(double Value) { minValue_ = Value; }
    double MaxValue() const { return maxValue_; }
    void SetMaxValue(double Value) { maxValue_ = Value; }
    double Increment() const { return increment_; }
    // Integer kinds round it, and 0 becomes 1.
    void SetIncrement(double Value);
    TValueType ValueType() const { return valueType_; }
    void SetValueType(TValueType Value);
    int Decimal() const { return decimal_; }
    void SetDecimal(int Value);
    // False: typing, backspace, Delete, pasting and cutting change nothing; the buttons work.
    bool EditorEnabled() const { return editorEnabled_; }
    void SetEditorEnabled(bool Value) { editorEnabled_ = Value; }
    bool ArrowKeys() const { return arrowKeys_; }
    void SetArrowKeys(bool Value) { arrowKeys_ = Value; }
    TSpinButtonKind ButtonKind() const { return buttonKind_; }
    void SetButtonKind(TSpinButtonKind Value);
    classlib::TAlignment Alignment() const { return alignment_; }
    void SetAlignment(classlib::TAlignment Value);
    bool AutoSelect() const { return autoSelect_; }
    void SetAutoSelect(bool Value) { autoSelect_ = Value; }

    // The diagonal button (nullptr for the standard kind), its container, and the up-down.
    TKitSpinButton* SpinButton() const { return spin_; }
    classlib::TWinControl* ButtonPanel() const { return panel_; }
    TKitUpDown* UpDown() const { return upDown_; }

    classlib::TNotifyEvent OnTopClick;
    classlib::TNotifyEvent OnBottomClick;

    // Whether a typed character is taken (never a Tab or a line break).
    virtual bool IsValidChar(char Key);
    // One step up or down (a beep when read-only); OnChange when the value changed, then
    // OnTopClick / OnBottomClick.
    virtual void UpClick(classlib::TObject* Sender);
    virtual void DownClick(classlib::TObject* Sender);

    void CreateParams(classlib::TCreateParams& Params) override;
    void CreateWnd() override;
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
    void SetEnabled(bool Value) override;
    void Dispatch(classlib::TMessage& Message) override;

protected:
    void Change() override;
    void KeyDown(WORD& Key, classlib::TShiftState Shift) override;
    void KeyPress(char& Key) override;
    void DoExit() override;

private:
    // The text's number, whatever the limits; false when the text is none.
    bool TextValue(double& Value);
    double RawValue();
    double CheckValue(double NewValue) const;
    std::string TextOf(double NewValue) const;
    void Step(double Delta, const classlib::TNotifyEvent& After);
    void RecreateButton();
    void ResizeButton();
    void SetEditRect();
    int ButtonWidth() const;

    double minValue_ = 0;
    double maxValue_ = 0;
    double increment_ = 1;
    TValueType valueType_ = TValueType::vtInteger;
    int decimal_ = 2;
    bool editorEnabled_ = true;
    bool arrowKeys_ = true;
    TSpinButtonKind buttonKind_ = TSpinButtonKind::bkDiagonal;
    classlib::TAlignment alignment_ = classlib::TAlignment::taLeftJustify;
    bool autoSelect_ = true;
    bool changing_ = false;
    bool mousePress_ = false;
    double lastValue_ = 0;    // the value OnChange last reported
    double lastInRange_ = 0;  // the value of the last text that was a number within the limits
    classlib::TWinControl* panel_ = nullptr;
    TKitSpinButton* spin_ = nullptr;
    TKitUpDown* upDown_ = nullptr;
};

}  // namespace widgets::kit
