#include "editor/qt/importdialog.h"

#include "audio/slotaudio.h"
#include "editor/editorsession.h"
#include "editor/importdraft.h"
#include "editor/qt/sourceview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

namespace {

QDoubleSpinBox* secondsBox(QWidget* parent, double maximum)
{
    auto* box = new QDoubleSpinBox(parent);
    box->setDecimals(3);
    box->setSingleStep(0.01);
    box->setRange(0.0, std::max(0.0, maximum));
    box->setSuffix(QStringLiteral(" s"));
    return box;
}

} // namespace

ImportDialog::ImportDialog(CEditorSession& session, CImportDraft& draft, QWidget* parent)
    : QDialog(parent), m_session(session), m_draft(draft)
{
    setWindowTitle(tr("Import %1 into %2").arg(QString::fromStdString(draft.fileName()),
                                              QString::fromStdString(draft.label())));
    setSizeGripEnabled(true);
    const double length = draft.sourceSeconds();

    m_source = new SourceView(this);
    m_source->setSource(draft.source(), audio::kDeviceSampleRate);
    m_zoom = new QSlider(Qt::Horizontal, this);
    m_zoom->setRange(0, 8);
    m_zoom->setToolTip(tr("Zoom"));

    m_start = secondsBox(this, length);
    m_end = secondsBox(this, length);
    m_toTheEnd = new QCheckBox(tr("to the &end of the file"), this);
    m_snap = new QCheckBox(tr("&snap to zero crossings"), this);
    m_gain = new QDoubleSpinBox(this);
    m_gain->setRange(-60.0, 60.0);
    m_gain->setDecimals(1);
    m_gain->setSuffix(QStringLiteral(" dB"));
    m_normalize = new QCheckBox(tr("&normalize to"), this);
    m_peak = new QDoubleSpinBox(this);
    m_peak->setRange(-60.0, 0.0);
    m_peak->setDecimals(1);
    m_peak->setSuffix(QStringLiteral(" dBFS"));
    m_reverse = new QCheckBox(tr("&reverse"), this);
    m_fadeIn = secondsBox(this, length);
    m_fadeOut = secondsBox(this, length);
    m_removeDc = new QCheckBox(tr("remove &DC"), this);
    m_quality = new QComboBox(this);
    m_quality->addItem(tr("classic"));
    m_quality->addItem(tr("clean (band-limited, rounded)"));
    m_dither = new QCheckBox(tr("di&ther"), this);
    m_figures = new QLabel(this);
    m_figures->setObjectName(QStringLiteral("importFigures"));
    m_figures->setWordWrap(true);

    auto* where = new QGridLayout;
    where->addWidget(new QLabel(tr("Start"), this), 0, 0);
    where->addWidget(m_start, 0, 1);
    where->addWidget(m_snap, 0, 2);
    where->addWidget(new QLabel(tr("End"), this), 1, 0);
    where->addWidget(m_end, 1, 1);
    where->addWidget(m_toTheEnd, 1, 2);
    where->addWidget(new QLabel(tr("Zoom"), this), 0, 3);
    where->addWidget(m_zoom, 0, 4);
    where->setColumnStretch(4, 1);

    auto* shape = new QFormLayout;
    shape->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    auto* level = new QHBoxLayout;
    level->addWidget(m_gain);
    level->addWidget(m_normalize);
    level->addWidget(m_peak);
    level->addStretch(1);
    shape->addRow(tr("Gain"), level);
    shape->addRow(tr("Fade in"), m_fadeIn);
    shape->addRow(tr("Fade out"), m_fadeOut);
    auto* flags = new QHBoxLayout;
    flags->addWidget(m_reverse);
    flags->addWidget(m_removeDc);
    flags->addStretch(1);
    shape->addRow(QString(), flags);
    auto* conversion = new QHBoxLayout;
    conversion->addWidget(m_quality);
    conversion->addWidget(m_dither);
    conversion->addStretch(1);
    shape->addRow(tr("Conversion"), conversion);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_preview = buttons->addButton(tr("&Preview"), QDialogButtonBox::ActionRole);
    m_playSource = buttons->addButton(tr("Play S&ource"), QDialogButtonBox::ActionRole);
    m_preview->setToolTip(tr("Play what the slot will hold, as the machine plays it"));
    m_playSource->setToolTip(tr("Play the file as it is, to compare"));
    for (QPushButton* button : {m_preview, m_playSource}) button->setAutoDefault(false);

    auto* column = new QVBoxLayout(this);
    column->addWidget(m_source, 1);
    column->addLayout(where);
    column->addLayout(shape);
    column->addWidget(m_figures);
    column->addWidget(buttons);

    showOptions(draft.options());
    optionsChanged();

    connect(m_zoom, &QSlider::valueChanged, this, [this](int value) { m_source->setZoom(1 << value); });
    connect(m_source, &SourceView::startDragged, this, &ImportDialog::moveStart);
    connect(m_source, &SourceView::endDragged, this, &ImportDialog::moveEnd);
    for (QDoubleSpinBox* box : {m_start, m_end, m_gain, m_peak, m_fadeIn, m_fadeOut})
        connect(box, &QDoubleSpinBox::valueChanged, this, &ImportDialog::optionsChanged);
    for (QCheckBox* box : {m_toTheEnd, m_normalize, m_reverse, m_removeDc, m_dither})
        connect(box, &QCheckBox::toggled, this, &ImportDialog::optionsChanged);
    connect(m_quality, &QComboBox::currentIndexChanged, this, &ImportDialog::optionsChanged);
    connect(m_preview, &QPushButton::clicked, this, [this] { m_session.playDraft(m_draft, false); });
    connect(m_playSource, &QPushButton::clicked, this, [this] { m_session.playDraft(m_draft, true); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void ImportDialog::showOptions(const ImportOptions& options)
{
    m_showing = true;
    m_start->setValue(options.startSeconds);
    m_toTheEnd->setChecked(!options.endSeconds);
    m_end->setValue(options.endSeconds.value_or(m_draft.sourceSeconds()));
    m_gain->setValue(options.gainDb);
    m_normalize->setChecked(options.normalizePeakDb.has_value());
    m_peak->setValue(options.normalizePeakDb.value_or(0.0));
    m_reverse->setChecked(options.reverse);
    m_fadeIn->setValue(options.fadeInSeconds);
    m_fadeOut->setValue(options.fadeOutSeconds);
    m_removeDc->setChecked(options.removeDc);
    m_quality->setCurrentIndex(options.quality == ImportOptions::Quality::Clean ? 1 : 0);
    m_dither->setChecked(options.dither);
    m_showing = false;
}

void ImportDialog::moveStart(double seconds)
{
    m_start->setValue(m_snap->isChecked() ? m_draft.snapToZeroCrossing(seconds) : seconds);
}

void ImportDialog::moveEnd(double seconds)
{
    m_toTheEnd->setChecked(false);
    m_end->setValue(m_snap->isChecked() ? m_draft.snapToZeroCrossing(seconds) : seconds);
}

void ImportDialog::optionsChanged()
{
    if (m_showing) return;
    ImportOptions options;
    options.startSeconds = m_start->value();
    if (!m_toTheEnd->isChecked()) options.endSeconds = m_end->value();
    options.gainDb = m_gain->value();
    if (m_normalize->isChecked()) options.normalizePeakDb = m_peak->value();
    options.reverse = m_reverse->isChecked();
    options.fadeInSeconds = m_fadeIn->value();
    options.fadeOutSeconds = m_fadeOut->value();
    options.removeDc = m_removeDc->isChecked();
    options.quality = m_quality->currentIndex() == 1 ? ImportOptions::Quality::Clean : ImportOptions::Quality::Classic;
    options.dither = options.quality == ImportOptions::Quality::Clean && m_dither->isChecked();
    m_draft.setOptions(options);

    m_end->setEnabled(!m_toTheEnd->isChecked());
    m_gain->setEnabled(!m_normalize->isChecked());
    m_peak->setEnabled(m_normalize->isChecked());
    m_dither->setEnabled(options.quality == ImportOptions::Quality::Clean);
    m_source->setMarks(options.startSeconds, options.endSeconds.value_or(m_draft.sourceSeconds()),
                       m_draft.slotEndSeconds());
    m_figures->setText(QString::fromStdString(m_draft.problem().empty() ? m_draft.figures() : m_draft.problem()));
    m_ok->setEnabled(m_draft.importable());
    m_preview->setEnabled(m_draft.importable());
}
