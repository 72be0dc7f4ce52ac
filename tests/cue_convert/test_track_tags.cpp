#include "TrackTags.h"

#include <QTest>

using namespace sondrel;

using Fields = QMap<QString, QStringList>;
Q_DECLARE_METATYPE(Fields)

namespace {

Fields f(std::initializer_list<std::pair<const char*, const char*>> pairs)
{
    Fields fields;
    for (const auto& [name, value] : pairs)
        fields.insert(QString::fromLatin1(name), {QString::fromUtf8(value)});
    return fields;
}

} // namespace

class TestTrackTags : public QObject {
    Q_OBJECT
private slots:
    void trackFieldsTakeTheSheetsAndTheAlbumsOnly_data()
    {
        QTest::addColumn<Fields>("image");
        QTest::addColumn<Fields>("sheet");
        QTest::addColumn<Fields>("expected");

        QTest::newRow("album-wide fields of the image stay")
            << f({{"ALBUMARTIST", "Band"}, {"DATE", "1999"}, {"LABEL", "Indie"}, {"DISCTOTAL", "2"}}) << Fields{}
            << f({{"ALBUMARTIST", "Band"}, {"DATE", "1999"}, {"LABEL", "Indie"}, {"DISCTOTAL", "2"}});
        QTest::newRow("the sheet's replace the image's")
            << f({{"ALBUMARTIST", "Image"}, {"COMPOSER", "Image"}, {"GENRE", "Jazz"}})
            << f({{"ALBUMARTIST", "Sheet"}, {"COMPOSER", "Sheet"}, {"TRACKNUMBER", "3/12"}})
            << f({{"ALBUMARTIST", "Sheet"}, {"COMPOSER", "Sheet"}, {"GENRE", "Jazz"}, {"TRACKNUMBER", "3/12"}});
        QTest::newRow("a name in another case is replaced")
            << f({{"AlbumArtist", "Image"}}) << f({{"ALBUMARTIST", "Sheet"}}) << f({{"ALBUMARTIST", "Sheet"}});
        QTest::newRow("the embedded sheet and its per-track tags go")
            << f({{"CUESHEET", "FILE \"a.flac\" WAVE"}, {"CUE_TRACK03_TITLE", "x"}, {"ARTIST", "A"}}) << Fields{}
            << f({{"ARTIST", "A"}});
        QTest::newRow("what names one track goes unless the sheet gives it")
            << f({{"TITLE", "Whole"}, {"TRACKNUMBER", "1"}, {"TRACKTOTAL", "1"}, {"TOTALTRACKS", "1"},
                  {"DISCNUMBER", "1/2"}, {"ISRC", "USABC0000001"}, {"MUSICBRAINZ_TRACKID", "t"},
                  {"MUSICBRAINZ_RELEASETRACKID", "r"}, {"LYRICS", "la"}, {"UNSYNCEDLYRICS", "la"}})
            << f({{"DISCNUMBER", "2"}, {"ISRC", "GBXYZ0000002"}})
            << f({{"DISCNUMBER", "2"}, {"ISRC", "GBXYZ0000002"}});
        QTest::newRow("the image's loudness values go, the sheet's stay")
            << f({{"REPLAYGAIN_TRACK_GAIN", "-6.00 dB"}, {"REPLAYGAIN_TRACK_PEAK", "0.9"},
                  {"REPLAYGAIN_ALBUM_GAIN", "-7.00 dB"}, {"R128_TRACK_GAIN", "-256"}, {"MUSICBRAINZ_ALBUMID", "a"}})
            << f({{"REPLAYGAIN_TRACK_GAIN", "-3.10 dB"}})
            << f({{"MUSICBRAINZ_ALBUMID", "a"}, {"REPLAYGAIN_TRACK_GAIN", "-3.10 dB"}});
    }
    void trackFieldsTakeTheSheetsAndTheAlbumsOnly()
    {
        QFETCH(Fields, image);
        QFETCH(Fields, sheet);
        QFETCH(Fields, expected);
        QCOMPARE(trackFields(image, sheet), expected);
    }

    // The values names and albums are made from agree with what the output carries.
    void otherTagsOfATrack()
    {
        OtherTags image;
        image.albumArtist = "Band";
        image.composer = "Writer";
        image.trackTotal = "1";
        image.disc = "1";
        image.discTotal = "2";
        OtherTags t = trackOtherTags(image, {});
        QCOMPARE(t.albumArtist, QString("Band"));
        QCOMPARE(t.composer, QString("Writer"));
        QCOMPARE(t.discTotal, QString("2"));
        QVERIFY(t.trackTotal.isEmpty());
        QVERIFY(t.disc.isEmpty());

        t = trackOtherTags(image, f({{"ALBUMARTIST", "Sheet"}, {"TRACKNUMBER", "3/12"}, {"DISCNUMBER", "2/3"}}));
        QCOMPARE(t.albumArtist, QString("Sheet"));
        QCOMPARE(t.composer, QString("Writer"));
        QCOMPARE(t.trackTotal, QString("12"));
        QCOMPARE(t.disc, QString("2/3"));
        QCOMPARE(t.discTotal, QString("3"));
    }
};

QTEST_GUILESS_MAIN(TestTrackTags)
#include "test_track_tags.moc"
