#pragma once

#include "composer/Look.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace morvaleth {

// "詳細": how the letter looks beyond grey — the palette, the background (a
// colour from the colour picker, or transparent), torn scraps and shadows —
// with a sample of a few characters composed in the chosen look as it
// changes. The look is the dialog's result; it applies to the next 作成.
class THLookDialog : public QDialog {
    Q_OBJECT

public:
    explicit THLookDialog(const Look& look, QWidget* parent = nullptr);

    Look Chosen() const { return look_; }
    // The sample as it stands, for tests.
    const QLabel* Sample() const { return sample_; }

    // The sample's text, size and seed: the same characters in every look.
    static constexpr const char* SampleText = "拝啓　秋も深まり";

private:
    void ReadChoices();
    void ChooseColor();
    void ShowSample();

    Look look_;
    QComboBox* palette_ = nullptr;
    QPushButton* color_ = nullptr;
    QCheckBox* transparent_ = nullptr;
    QCheckBox* torn_ = nullptr;
    QCheckBox* shadow_ = nullptr;
    QLabel* sample_ = nullptr;
};

} // namespace morvaleth
