#include "RiffInfoTags.h"

#include "Genres.h"
#include "TagFields.h"
#include "TagFiles.h"

#include <taglib/infotag.h>

namespace sondrel {

namespace {

struct InfoField {
    const char* id;
    const char* name;
};

// ITRK is read too (some programs write it), IPRT is what is written.
constexpr InfoField kFields[] = {
    {"INAM", "TITLE"},       {"IART", "ARTIST"},  {"IPRD", "ALBUM"},      {"ICMT", "COMMENT"},
    {"IGNR", "GENRE"},       {"ICRD", "DATE"},    {"IPRT", "TRACKNUMBER"}, {"ITRK", "TRACKNUMBER"},
    {"ICOP", "COPYRIGHT"},   {"ILNG", "LANGUAGE"},
};

class RiffInfoModule : public TagModule {
public:
    explicit RiffInfoModule(TagLib::RIFF::Info::Tag* tag) : m_tag(tag) {}

    void read(CarriedTags& t) const override
    {
        for (const InfoField& f : kFields) {
            const QString text = toQ(m_tag->fieldText(f.id));
            const QString name = QLatin1String(f.name);
            if (!text.isEmpty() && !t.fields.contains(name))
                t.fields[name] = QStringList{text};
        }
    }

    TagValues values() const override
    {
        TagValues v{toQ(m_tag->title()), toQ(m_tag->artist()), toQ(m_tag->album()),
                    genres::fromText(toQ(m_tag->genre())), toQ(m_tag->comment()), m_tag->year(), m_tag->track()};
        if (v.track == 0)
            v.track = unsigned(std::max(0, m_tag->fieldText("ITRK").toInt()));
        return v;
    }

    QStringList carry(const CarriedTags& tags) override
    {
        const TagFieldMap fields = totalsInNumbers(tags.fields);
        for (const InfoField& f : kFields) {
            if (qstrcmp(f.id, "ITRK") == 0) {
                m_tag->removeField(f.id);
                continue;
            }
            const QStringList values = fields.value(QLatin1String(f.name));
            if (values.isEmpty())
                m_tag->removeField(f.id);
            else
                m_tag->setFieldText(f.id, toT(values.join(QLatin1String(ValueSeparator))));
        }
        return {};
    }

    void setValues(const TagValues& v) override { setValuesOver(m_tag, values(), v); }

private:
    TagLib::RIFF::Info::Tag* m_tag;
};

} // namespace

std::unique_ptr<TagModule> riffInfoModule(TagLib::RIFF::Info::Tag* tag) { return std::make_unique<RiffInfoModule>(tag); }

} // namespace sondrel
