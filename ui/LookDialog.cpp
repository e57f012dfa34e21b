#include "ui/LookDialog.h"

#include "composer/Composition.h"
#include "ui/PreviewImage.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace morvaleth {
namespace {

// The palettes as the dialog names them, in PaletteId's order.
const char* const PaletteLabels[] = {"グレー", "雑誌", "新聞", "パステル"};

constexpr int SampleWidth = 260;
constexpr int SampleHeight = 72;
constexpr int SampleSize = 24;
constexpr std::uint32_t SampleSeed = 20261207;

QColor QColorOf(TColor color)
{
    return QColor(RedOf(color), GreenOf(color), BlueOf(color));
}

} // namespace

THLookDialog::THLookDialog(const Look& look, QWidget* parent) : QDialog(parent), look_(look)
{
    setObjectName(QStringLiteral("HLookDialog"));
    setWindowTitle(QStringLiteral("詳細"));
    palette_ = new QComboBox(this);
    palette_->setObjectName(QStringLiteral("HComboPalette"));
    for (const char* label : PaletteLabels)
        palette_->addItem(QString::fromUtf8(label));
    palette_->setCurrentIndex(int(look.palette));
    color_ = new QPushButton(QStringLiteral("背景色..."), this);
    color_->setObjectName(QStringLiteral("HBtnBackground"));
    transparent_ = new QCheckBox(QStringLiteral("透明"), this);
    transparent_->setObjectName(QStringLiteral("HChkTransparent"));
    transparent_->setChecked(look.background.transparent);
    torn_ = new QCheckBox(QStringLiteral("破れた縁 (リアルモード)"), this);
    torn_->setObjectName(QStringLiteral("HChkTorn"));
    torn_->setChecked(look.torn);
    shadow_ = new QCheckBox(QStringLiteral("影"), this);
    shadow_->setObjectName(QStringLiteral("HChkShadow"));
    shadow_->setChecked(look.shadow);
    sample_ = new QLabel(this);
    sample_->setObjectName(QStringLiteral("HImgSample"));
    sample_->setFixedSize(SampleWidth, SampleHeight);

    auto* background = new QHBoxLayout;
    background->addWidget(color_);
    background->addWidget(transparent_);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("配色"), palette_);
    form->addRow(QStringLiteral("背景"), background);
    form->addRow(torn_);
    form->addRow(shadow_);
    form->addRow(QStringLiteral("見本"), sample_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(palette_, &QComboBox::currentIndexChanged, this, [this] { ReadChoices(); });
    for (QCheckBox* box : {transparent_, torn_, shadow_})
        connect(box, &QCheckBox::toggled, this, [this] { ReadChoices(); });
    connect(color_, &QPushButton::clicked, this, [this] { ChooseColor(); });
    ShowSample();
}

void THLookDialog::ReadChoices()
{
    look_.palette = PaletteId(palette_->currentIndex());
    look_.background.transparent = transparent_->isChecked();
    look_.torn = torn_->isChecked();
    look_.shadow = shadow_->isChecked();
    ShowSample();
}

void THLookDialog::ChooseColor()
{
    const QColor chosen = QColorDialog::getColor(QColorOf(look_.background.color), this, QStringLiteral("背景色"));
    if (!chosen.isValid())
        return;
    look_.background.color = MakeColor(std::uint8_t(chosen.red()), std::uint8_t(chosen.green()),
                                       std::uint8_t(chosen.blue()));
    transparent_->setChecked(false);
    ReadChoices();
}

void THLookDialog::ShowSample()
{
    // The background button shows its colour.
    color_->setStyleSheet(look_.background.transparent
                              ? QString()
                              : QStringLiteral("background-color: %1").arg(QColorOf(look_.background.color).name()));
    CompositionSettings settings;
    settings.sourceText = SampleText;
    settings.encoding = SourceEncoding::Utf8;
    settings.widthText = std::to_string(SampleWidth);
    settings.heightText = std::to_string(SampleHeight);
    settings.size = SampleSize;
    settings.realMode = true;
    settings.seed = SampleSeed;
    settings.look = look_;
    settings.render.threads = 1;
    std::shared_ptr<const PixelPicture> picture = ComposePicture(settings);
    sample_->setPixmap(QPixmap::fromImage(ImageOf(std::move(picture)).copy()));
}

} // namespace morvaleth
