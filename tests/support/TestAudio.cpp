#include "TestAudio.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QVariantMap>
#include <QElapsedTimer>
#include <algorithm>
#include <cstring>
#include <cmath>
#include <numbers>

namespace testaudio {

QString corpusDir()
{
    // The corpus sits beside the repository in the workplace; a clone elsewhere finds it by
    // the environment or at the workplace's fixed place.
    const QStringList candidates{qEnvironmentVariable("SONDREL_CORPUS_DIR"),
                                 QString::fromUtf8(SONDREL_CORPUS_DIR),
                                 QStringLiteral("/work/shared/corpus/realworld")};
    for (const QString& c : candidates)
        if (!c.isEmpty() && QFileInfo::exists(c + QStringLiteral("/MANIFEST.tsv")))
            return c;
    return QString::fromUtf8(SONDREL_CORPUS_DIR);
}

QStringList corpusFiles()
{
    QStringList out;
    QDir root(corpusDir());
    QDirIterator it(root.path(), QDir::Files, QDirIterator::Subdirectories);
    static const QStringList exts{"mp3", "wav", "wma", "ogg", "oga"};
    while (it.hasNext()) {
        const QString p = it.next();
        if (exts.contains(QFileInfo(p).suffix().toLower()))
            out << root.relativeFilePath(p);
    }
    out.sort();
    return out;
}

std::vector<float> musicSignal(int sampleRate, int channels, std::int64_t frames)
{
    std::vector<float> out(static_cast<size_t>(frames * channels));
    const double twoPi = 2 * std::numbers::pi;
    // A little melody: each note lasts 0.25 s with an attack/decay envelope.
    static const double notes[] = {220.0, 277.18, 329.63, 440.0, 392.0, 329.63, 293.66, 246.94};
    double phase[2] = {0, 0};
    for (std::int64_t i = 0; i < frames; ++i) {
        const double t = double(i) / sampleRate;
        const int note = int(t / 0.25) % 8;
        const double inNote = std::fmod(t, 0.25);
        const double env = std::min(1.0, inNote / 0.01) * std::exp(-inNote * 6.0);
        for (int c = 0; c < channels; ++c) {
            const double f = notes[(note + c * 3) % 8] * (1.0 + 0.003 * std::sin(twoPi * 5 * t));
            double &ph = phase[std::min(c, 1)];
            if (c < 2)
                ph += twoPi * f / sampleRate;
            const double p = (c < 2) ? ph : phase[0] * (1 + c * 0.1);
            const double v = 0.5 * std::sin(p) + 0.2 * std::sin(2 * p) + 0.1 * std::sin(3 * p);
            out[size_t(i * channels + c)] = float(0.8 * env * v);
        }
    }
    return out;
}

namespace {
void put16(QByteArray& b, quint16 v) { b.append(char(v & 0xff)); b.append(char(v >> 8)); }
void put32(QByteArray& b, quint32 v) { for (int i = 0; i < 4; ++i) b.append(char((v >> (8 * i)) & 0xff)); }
}

bool writeWav(const QString& path, const std::vector<float>& samples, int rate, int channels, int bits)
{
    const bool isFloat = bits == -32;
    const int width = std::abs(bits) / 8;
    QByteArray data;
    data.reserve(int(samples.size()) * width);
    for (float f : samples) {
        const double s = std::clamp(double(f), -1.0, 1.0);
        if (isFloat) {
            float v = f; // as given: float WAVs may hold values beyond full scale, even NaN
            quint32 u;
            std::memcpy(&u, &v, 4);
            put32(data, u);
        } else if (bits == 8) {
            data.append(char(quint8(std::lround(s * 127.0) + 128)));
        } else if (bits == 16) {
            put16(data, quint16(qint16(std::lround(s * 32767.0))));
        } else if (bits == 24) {
            const qint32 v = qint32(std::lround(s * 8388607.0));
            data.append(char(v & 0xff)); data.append(char((v >> 8) & 0xff)); data.append(char((v >> 16) & 0xff));
        } else if (bits == 32) {
            put32(data, quint32(qint32(std::llround(s * 2147483647.0))));
        } else {
            return false;
        }
    }
    QByteArray h;
    h += "RIFF";
    put32(h, quint32(36 + data.size()));
    h += "WAVEfmt ";
    put32(h, 16);
    put16(h, isFloat ? 3 : 1);
    put16(h, quint16(channels));
    put32(h, quint32(rate));
    put32(h, quint32(rate * channels * width));
    put16(h, quint16(channels * width));
    put16(h, quint16(std::abs(bits)));
    h += "data";
    put32(h, quint32(data.size()));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(h) == h.size() && f.write(data) == data.size();
}

bool writeMusicWav(const QString& path, int rate, int channels, double seconds, int bits)
{
    return writeWav(path, musicSignal(rate, channels, std::int64_t(std::llround(seconds * rate))),
                    rate, channels, bits);
}

QByteArray runTool(const QString& program, const QStringList& args, int timeoutMs, int* exitCode)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(program, args);
    if (!p.waitForStarted(10000)) {
        if (exitCode) *exitCode = -1;
        return {};
    }
    p.closeWriteChannel();
    QByteArray out;
    QElapsedTimer t;
    t.start();
    while (p.state() != QProcess::NotRunning && t.elapsed() < timeoutMs) {
        p.waitForReadyRead(100);
        out += p.readAllStandardOutput();
        p.readAllStandardError();
    }
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(5000);
        if (exitCode) *exitCode = -2;
        return out;
    }
    out += p.readAllStandardOutput();
    if (exitCode) *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -3;
    return out;
}

ProbeResult ffprobe(const QString& path)
{
    ProbeResult r;
    int code = 0;
    const QByteArray out = runTool("ffprobe", {"-v", "error", "-show_format", "-show_streams",
                                               "-of", "json", path}, 30000, &code);
    if (code != 0) {
        r.error = QStringLiteral("ffprobe exit %1").arg(code);
        return r;
    }
    const QJsonObject root = QJsonDocument::fromJson(out).object();
    const QJsonObject fmt = root.value("format").toObject();
    r.formatName = fmt.value("format_name").toString();
    r.durationSeconds = fmt.value("duration").toString().toDouble();
    r.bitRate = fmt.value("bit_rate").toString().toLongLong();
    const QJsonObject tags = fmt.value("tags").toObject();
    for (auto it = tags.begin(); it != tags.end(); ++it)
        r.tags.insert(it.key().toLower(), it.value().toVariant());
    for (const QJsonValue& v : root.value("streams").toArray())
        r.attachedPictures += v.toObject().value("disposition").toObject().value("attached_pic").toInt();
    for (const QJsonValue& v : root.value("streams").toArray()) {
        const QJsonObject s = v.toObject();
        if (s.value("codec_type").toString() != "audio")
            continue;
        r.bitsPerRawSample = s.value("bits_per_raw_sample").toString().toInt();
        r.codecName = s.value("codec_name").toString();
        r.sampleRate = s.value("sample_rate").toString().toInt();
        r.channels = s.value("channels").toInt();
        const QJsonObject st = s.value("tags").toObject();
        for (auto it = st.begin(); it != st.end(); ++it)
            if (!r.tags.contains(it.key().toLower()))
                r.tags.insert(it.key().toLower(), it.value().toVariant());
        break;
    }
    r.ok = !r.codecName.isEmpty();
    return r;
}

std::vector<float> ffmpegDecode(const QString& path, int* rateOut, int* channelsOut)
{
    const ProbeResult p = ffprobe(path);
    if (!p.ok)
        return {};
    int code = 0;
    const QByteArray raw = runTool("ffmpeg", {"-v", "error", "-i", path, "-map", "0:a:0",
                                              "-f", "f32le", "-acodec", "pcm_f32le", "-"},
                                   120000, &code);
    if (code != 0)
        return {};
    if (rateOut) *rateOut = p.sampleRate;
    if (channelsOut) *channelsOut = p.channels;
    std::vector<float> out(size_t(raw.size()) / sizeof(float));
    if (!out.empty())
        std::memcpy(out.data(), raw.constData(), out.size() * sizeof(float));
    return out;
}

double correlation(const std::vector<float>& a, const std::vector<float>& b, long lag)
{
    double ab = 0, aa = 0, bb = 0;
    for (long i = 0; i < long(a.size()); ++i) {
        const long j = i + lag;
        if (j < 0 || j >= long(b.size()))
            continue;
        ab += double(a[size_t(i)]) * b[size_t(j)];
        aa += double(a[size_t(i)]) * a[size_t(i)];
        bb += double(b[size_t(j)]) * b[size_t(j)];
    }
    if (aa <= 0 || bb <= 0)
        return 0;
    return ab / std::sqrt(aa * bb);
}

double snrDb(const std::vector<float>& ref, const std::vector<float>& test)
{
    double sig = 0, noise = 0;
    const size_t n = std::min(ref.size(), test.size());
    for (size_t i = 0; i < n; ++i) {
        sig += double(ref[i]) * ref[i];
        const double d = double(ref[i]) - test[i];
        noise += d * d;
    }
    if (noise <= 0)
        return 200;
    return 10 * std::log10(sig / noise);
}

std::vector<float> channel(const std::vector<float>& in, int channels, int index)
{
    std::vector<float> out;
    out.reserve(in.size() / size_t(channels));
    for (size_t i = size_t(index); i < in.size(); i += size_t(channels))
        out.push_back(in[i]);
    return out;
}

} // namespace testaudio
