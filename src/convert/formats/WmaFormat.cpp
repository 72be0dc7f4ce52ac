// WMA (wmav2 in ASF): the "wma" section and page, and the encoder's set-up from one of the 47
// profiles.
#include "AudioFile.h"
#include "OutputFormat.h"
#include "SettingsWidgets.h"
#include "TargetSetup.h"

#include <QComboBox>
#include <QGroupBox>
#include <QVBoxLayout>

namespace sondrel {

namespace {

using namespace settingsui;

QString configureWma(const SettingsFile& s, EncoderTarget& target)
{
    // The encoder numbers its profiles from 1.
    target.writer.SetWmaOutput(stored::indexOf(s, keys::wmaFormat, wma_profiles.size()) + 1);
    return {};
}

void buildWmaPage(QWidget* page, PageParts& parts)
{
    QVBoxLayout* column = makeColumn(page);
    QGroupBox* format = makeGroup(page, QStringLiteral("WMA Format"), 309, 103);
    format->setObjectName(QStringLiteral("gb_wma"));
    QStringList names;
    for (const char* name : wma_profiles)
        names << QString::fromLatin1(name);
    QComboBox* cb_wma = makeCombo(format, "cb_wma", names);
    cb_wma->setFixedWidth(288);
    auto* box = new QVBoxLayout(format);
    box->setContentsMargins(0, 0, 0, 4);
    box->addStretch(1);
    box->addWidget(cb_wma, 0, Qt::AlignHCenter);
    box->addStretch(1);

    column->addWidget(format, 0, Qt::AlignHCenter);
    column->addStretch(1);
    parts.bindings.push_back({cb_wma, keys::wmaFormat});
}

const OutputFormat Wma{
    2, "wma", "WMA", ".wma", "wma",
    {"WMA", "ts_wma", 3, buildWmaPage},
    configureWma,
    TagAbility::Values | TagAbility::Fields | TagAbility::Pictures,
};

[[maybe_unused]] const bool registered = registerOutputFormat(Wma);

} // namespace

} // namespace sondrel
