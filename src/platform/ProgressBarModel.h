#pragma once

namespace zoetra {

// The value and maximum of a progress bar that takes floating-point values.
// A maximum below 1 and a value outside 0..maximum are refused; a refused
// call leaves the bar as it was and returns false.
class ProgressBarModel {
public:
    bool setValue(double value)
    {
        if (!(value >= 0.0) || value > maximum_) {
            return false;
        }
        value_ = value;
        return true;
    }

    bool setMaximum(double maximum)
    {
        if (!(maximum >= 1.0)) {
            return false;
        }
        maximum_ = maximum;
        if (value_ > maximum_) {
            value_ = maximum_;
        }
        return true;
    }

    double value() const { return value_; }
    double maximum() const { return maximum_; }
    // Share of the bar that is filled, 0..1.
    double fraction() const { return value_ / maximum_; }

private:
    double value_ = 0.0;
    double maximum_ = 100.0;
};

}  // namespace zoetra
