#include "SpliceEncoder.h"

#include "EncoderOutput.h"
#include "HevcIdRewriter.h"
#include "KeyframeKind.h"
#include "NalUnits.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <set>

namespace {

enum class Kind { H264, Hevc, Vp8, Vp9, Av1, Mpeg4 };

// The smallest identifier from `first` to `last` that none of the units uses; −1 when all are taken.
int freeId(NalUnits::Codec codec, const std::vector<QByteArray>& units, int first, int last, const std::set<int>& alsoTaken = {})
{
    std::set<int> taken = alsoTaken;
    for (const QByteArray& unit : units)
        taken.insert(NalUnits::parameterSetId(codec, unit));
    for (int id = first; id <= last; ++id)
        if (!taken.count(id))
            return id;
    return -1;
}

QString levelText(int tenths) { return QStringLiteral("%1.%2").arg(tenths / 10).arg(tenths % 10); }

int bitDepth(AVPixelFormat format)
{
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    return descriptor ? descriptor->comp[0].depth : 8;
}

int chromaShift(AVPixelFormat format)
{
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    return descriptor ? descriptor->log2_chroma_w + descriptor->log2_chroma_h : 2;
}

QString h264Profile(int profile)
{
    switch (profile) {
    case FF_PROFILE_H264_BASELINE:
    case FF_PROFILE_H264_EXTENDED: // Baseline pictures are Extended ones
        return QStringLiteral("baseline");
    case FF_PROFILE_H264_MAIN:
        return QStringLiteral("main");
    case FF_PROFILE_H264_HIGH:
        return QStringLiteral("high");
    case FF_PROFILE_H264_HIGH_10:
        return QStringLiteral("high10");
    case FF_PROFILE_H264_HIGH_422:
        return QStringLiteral("high422");
    case FF_PROFILE_H264_HIGH_444_PREDICTIVE:
        return QStringLiteral("high444");
    default:
        return {};
    }
}

QString hevcProfile(AVPixelFormat format)
{
    const int depth = bitDepth(format), shift = chromaShift(format);
    const QString chroma = shift == 2 ? QString() : shift == 1 ? QStringLiteral("422-") : QStringLiteral("444-");
    if (chroma.isEmpty())
        return depth <= 8 ? QStringLiteral("main") : QStringLiteral("main%1").arg(depth);
    return QStringLiteral("main%1%2").arg(chroma).arg(depth);
}

// MPEG-4 Part 2 stream headers without the user data encoders sign them with.
QByteArray withoutUserData(const QByteArray& headers)
{
    QByteArray kept;
    bool userData = false;
    for (qsizetype at = 0; at < headers.size(); ++at) {
        if (at + 3 < headers.size() && headers[at] == 0 && headers[at + 1] == 0 && headers[at + 2] == 1)
            userData = uint8_t(headers[at + 3]) == 0xb2;
        if (!userData)
            kept.append(headers[at]);
    }
    return kept;
}

// The encoder for pictures of a codec, with the kind of stream it writes; null, with the reason, when
// there is none here.
const char* encoderOf(AVCodecID id, Kind* kind, QString* why)
{
    static const std::map<AVCodecID, std::pair<Kind, const char*>> encoders{
        {AV_CODEC_ID_H264, {Kind::H264, "libx264"}},  {AV_CODEC_ID_HEVC, {Kind::Hevc, "libx265"}},
        {AV_CODEC_ID_VP8, {Kind::Vp8, "libvpx"}},     {AV_CODEC_ID_VP9, {Kind::Vp9, "libvpx-vp9"}},
        {AV_CODEC_ID_AV1, {Kind::Av1, "libaom-av1"}}, {AV_CODEC_ID_MPEG4, {Kind::Mpeg4, "mpeg4"}}};
    const auto found = encoders.find(id);
    if (found == encoders.end()) {
        *why = QStringLiteral("Clipwell does not encode %1 pictures").arg(QString::fromUtf8(avcodec_get_name(id)).toUpper());
        return nullptr;
    }
    if (!avcodec_find_encoder_by_name(found->second.second)) {
        *why = QStringLiteral("the %1 encoder is not available").arg(QString::fromLatin1(found->second.second));
        return nullptr;
    }
    *kind = found->second.first;
    return found->second.second;
}

bool encoderTakes(const AVCodec* encoder, AVPixelFormat format)
{
    for (const AVPixelFormat* f = encoder->pix_fmts; f && *f != AV_PIX_FMT_NONE; ++f)
        if (*f == format)
            return true;
    return false;
}

} // namespace

struct SpliceEncoder::Codec {
    Kind kind = Kind::H264;
    int profile = 0, level = 0; // H.264 profile_idc and level_idc; HEVC general_level_idc
    const AVCodec* encoder = nullptr;
    NalUnits::Configuration source; // H.264 and HEVC: the source's parameter sets
    int h264Id = 0;                 // the encoder's SPS and PPS id (H.264)
    HevcIdRewriter rewriter;        // HEVC
    int vpsId = 0, spsId = 0, ppsId = 0;
    bool highTier = false;
};

SpliceEncoder::~SpliceEncoder() = default;

QString SpliceEncoder::unavailableFor(const QString& codecName)
{
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get_by_name(codecName.toUtf8().constData());
    if (!descriptor || everyPictureIsKeyframe(descriptor->id))
        return {};
    Kind kind;
    QString why;
    return encoderOf(descriptor->id, &kind, &why) ? QString() : why;
}

std::unique_ptr<SpliceEncoder> SpliceEncoder::create(const AVStream& source, const PictureFormat& pictures, QString* why)
{
    if (!pictures.known) {
        *why = QStringLiteral("its pictures cannot be decoded");
        return nullptr;
    }
    const AVCodecParameters& parameters = *source.codecpar;
    std::unique_ptr<SpliceEncoder> splice(new SpliceEncoder());
    splice->codec_ = std::make_unique<Codec>();
    Codec& codec = *splice->codec_;
    splice->source_ = &source;
    splice->pictures_ = pictures;
    const char* name = encoderOf(parameters.codec_id, &codec.kind, why);
    if (!name)
        return nullptr;
    codec.encoder = avcodec_find_encoder_by_name(name);
    const AVPixelFormat format = AVPixelFormat(pictures.pixelFormat);
    if (!encoderTakes(codec.encoder, format)) {
        *why = QStringLiteral("the %1 encoder cannot write %2 pictures")
                   .arg(QString::fromLatin1(name), QString::fromUtf8(av_get_pix_fmt_name(format) ? av_get_pix_fmt_name(format) : "these"));
        return nullptr;
    }
    if (codec.kind == Kind::H264 || codec.kind == Kind::Hevc) {
        const NalUnits::Codec nal = codec.kind == Kind::H264 ? NalUnits::Codec::H264 : NalUnits::Codec::Hevc;
        if (!NalUnits::parseConfiguration(nal, parameters.extradata, parameters.extradata_size, &codec.source)) {
            *why = QStringLiteral("its parameter sets are not in the stream description");
            return nullptr;
        }
        // The profile and level the source's first sequence parameter set states.
        const QByteArray sps = codec.source.sps.empty() ? QByteArray() : NalUnits::unescape(codec.source.sps.front());
        if (codec.kind == Kind::H264 && sps.size() > 3) {
            codec.profile = uint8_t(sps[1]);
            codec.level = uint8_t(sps[3]);
        } else if (codec.kind == Kind::Hevc && sps.size() > 14) {
            codec.level = uint8_t(sps[14]);
        }
        if (codec.kind == Kind::H264) {
            if (h264Profile(codec.profile).isEmpty()) {
                *why = QStringLiteral("x264 cannot write its profile");
                return nullptr;
            }
            std::set<int> ppsIds;
            for (const QByteArray& pps : codec.source.pps)
                ppsIds.insert(NalUnits::parameterSetId(nal, pps));
            codec.h264Id = freeId(nal, codec.source.sps, 1, 31, ppsIds);
        } else {
            codec.vpsId = freeId(nal, codec.source.vps, 1, 15);
            codec.spsId = freeId(nal, codec.source.sps, 1, 15);
            codec.ppsId = freeId(nal, codec.source.pps, 1, 63);
            // general_tier_flag: after the VPS id, sub-layer count, nesting flag and profile space.
            if (!codec.source.sps.empty()) {
                const QByteArray sps = NalUnits::unescape(codec.source.sps.front());
                codec.highTier = sps.size() > 3 && (uint8_t(sps[3]) & 0x20);
            }
        }
        if (codec.h264Id < 0 || codec.vpsId < 0 || codec.spsId < 0 || codec.ppsId < 0) {
            *why = QStringLiteral("the source uses every parameter set identifier");
            return nullptr;
        }
    }
    splice->output_.reset(avcodec_parameters_alloc(), CodecParametersDeleter());
    if (!splice->output_ || avcodec_parameters_copy(splice->output_.get(), &parameters) < 0) {
        *why = QStringLiteral("there is not enough memory");
        return nullptr;
    }
    Error error;
    if (!splice->openEncoder(&error)) {
        *why = error.message;
        return nullptr;
    }
    if (codec.kind == Kind::H264 || codec.kind == Kind::Hevc) {
        // The encoder's parameter sets join the source's.
        const NalUnits::Codec nal = codec.kind == Kind::H264 ? NalUnits::Codec::H264 : NalUnits::Codec::Hevc;
        NalUnits::Configuration ours;
        AVCodecContext* encoder = splice->encoder_.get();
        if (!NalUnits::parseConfiguration(nal, encoder->extradata, encoder->extradata_size, &ours)) {
            *why = QStringLiteral("the encoder gives no parameter sets");
            return nullptr;
        }
        if (codec.kind == Kind::Hevc) {
            if (!codec.rewriter.configure(ours, codec.vpsId, codec.spsId, codec.ppsId, why))
                return nullptr;
            for (std::vector<QByteArray>* list : {&ours.vps, &ours.sps, &ours.pps})
                for (QByteArray& unit : *list)
                    unit = codec.rewriter.rewrite(unit);
        }
        NalUnits::Configuration merged = codec.source;
        merged.vps.insert(merged.vps.end(), ours.vps.begin(), ours.vps.end());
        merged.sps.insert(merged.sps.end(), ours.sps.begin(), ours.sps.end());
        merged.pps.insert(merged.pps.end(), ours.pps.begin(), ours.pps.end());
        const QByteArray record = NalUnits::buildConfiguration(nal, merged);
        AVCodecParameters& output = *splice->output_;
        av_freep(&output.extradata);
        output.extradata = static_cast<uint8_t*>(av_mallocz(size_t(record.size()) + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!output.extradata) {
            *why = QStringLiteral("there is not enough memory");
            return nullptr;
        }
        memcpy(output.extradata, record.constData(), size_t(record.size()));
        output.extradata_size = int(record.size());
    }
    splice->encoderHeaders_ = QByteArray(reinterpret_cast<const char*>(splice->encoder_->extradata), splice->encoder_->extradata_size);
    if (codec.kind == Kind::Mpeg4 &&
        withoutUserData(splice->encoderHeaders_) !=
            withoutUserData(QByteArray(reinterpret_cast<const char*>(parameters.extradata), parameters.extradata_size))) {
        *why = QStringLiteral("its stream headers are not ones this program's MPEG-4 Part 2 encoder writes");
        return nullptr;
    }
    return splice;
}

bool SpliceEncoder::openEncoder(Error* error)
{
    const AVCodecParameters& parameters = *source_->codecpar;
    const Codec& codec = *codec_;
    encoder_.reset(avcodec_alloc_context3(codec.encoder));
    if (!encoder_) {
        setError(error, mediaError(AVERROR(ENOMEM), QStringLiteral("Cannot start the encoder")));
        return false;
    }
    AVCodecContext* c = encoder_.get();
    const PictureFormat& pictures = pictures_;
    const AVPixelFormat format = AVPixelFormat(pictures.pixelFormat);
    c->width = pictures.width;
    c->height = pictures.height;
    c->pix_fmt = format;
    c->time_base = source_->time_base;
    c->framerate = source_->avg_frame_rate.num > 0 ? source_->avg_frame_rate : source_->r_frame_rate;
    c->sample_aspect_ratio = pictures.aspectNum > 0 ? AVRational{pictures.aspectNum, pictures.aspectDen} : AVRational{1, 1};
    c->color_range = AVColorRange(pictures.colorRange);
    c->color_primaries = AVColorPrimaries(pictures.colorPrimaries);
    c->color_trc = AVColorTransferCharacteristic(pictures.colorTransfer);
    c->colorspace = AVColorSpace(pictures.colorSpace);
    c->chroma_sample_location = AVChromaLocation(pictures.chromaLocation);
    if (pictures.interlaced) {
        c->field_order = pictures.topFieldFirst ? AV_FIELD_TT : AV_FIELD_BB;
        c->flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
    }
    c->max_b_frames = 0;
    c->gop_size = 1 << 20; // one run is one group of pictures
    c->thread_count = 0;
    Dictionary options;
    const auto set = [&](const char* key, const QString& value) { options.set(key, value.toUtf8().constData()); };
    switch (codec.kind) {
    case Kind::H264:
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        set("preset", QStringLiteral("veryfast"));
        set("tune", QStringLiteral("psnr"));
        set("crf", QStringLiteral("9"));
        set("profile", h264Profile(codec.profile));
        if (codec.level > 0)
            set("level", levelText(codec.level));
        set("x264-params", QStringLiteral("sps-id=%1:bframes=0:scenecut=0:aud=0:mbtree=0").arg(codec.h264Id));
        break;
    case Kind::Hevc: {
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        set("preset", QStringLiteral("veryfast"));
        set("tune", QStringLiteral("psnr"));
        set("crf", QStringLiteral("10"));
        set("profile", hevcProfile(format));
        // One slice without wavefronts or weighted prediction: slice headers that HevcIdRewriter reads.
        QString params = QStringLiteral("log-level=error:bframes=0:scenecut=0:open-gop=0:wpp=0:weightp=0:weightb=0:repeat-headers=0:"
                                        "info=0:hash=0:aud=0:hrd=0:slices=1:lossless=0:cutree=0");
        if (codec.level > 0)
            params += QStringLiteral(":level-idc=%1").arg(levelText(codec.level / 3));
        if (codec.highTier)
            params += QStringLiteral(":high-tier=1");
        set("x265-params", params);
        break;
    }
    case Kind::Vp8:
        set("deadline", QStringLiteral("good"));
        set("cpu-used", QStringLiteral("4"));
        set("crf", QStringLiteral("5"));
        set("auto-alt-ref", QStringLiteral("0"));
        set("lag-in-frames", QStringLiteral("0"));
        c->bit_rate = 100000000; // the cap crf works under
        c->qmin = 0;
        c->qmax = 30;
        break;
    case Kind::Vp9:
        set("deadline", QStringLiteral("good"));
        set("cpu-used", QStringLiteral("5"));
        set("crf", QStringLiteral("8"));
        set("row-mt", QStringLiteral("1"));
        set("auto-alt-ref", QStringLiteral("0"));
        set("lag-in-frames", QStringLiteral("0"));
        c->bit_rate = 0;
        break;
    case Kind::Av1:
        set("cpu-used", QStringLiteral("8"));
        set("crf", QStringLiteral("18"));
        set("row-mt", QStringLiteral("1"));
        set("lag-in-frames", QStringLiteral("0"));
        c->bit_rate = 0;
        break;
    case Kind::Mpeg4:
        // The stream headers must be the source's (create() checks), so that the source's serve both
        // kinds of picture: B-frames where the source has them (its low-delay flag), headers apart.
        c->flags |= AV_CODEC_FLAG_QSCALE | AV_CODEC_FLAG_GLOBAL_HEADER;
        c->global_quality = 2 * FF_QP2LAMBDA;
        c->max_b_frames = parameters.video_delay > 0 ? 1 : 0;
        c->codec_tag = parameters.codec_tag;
        break;
    }
    const int ret = avcodec_open2(c, codec.encoder, &options.entries);
    if (ret < 0) {
        setError(
            error,
            mediaError(
                ret, QStringLiteral("Cannot start the %1 encoder for the pictures at a cut").arg(QString::fromUtf8(codec.encoder->name))));
        encoder_.reset();
        return false;
    }
    return true;
}

bool SpliceEncoder::encode(const AVFrame& picture, int64_t pts, int64_t duration, const PacketHandler& handler, Error* error)
{
    if (!encoder_) {
        if (!openEncoder(error))
            return false;
        // Parameter sets were merged into the stream description once: every run must use the same.
        const QByteArray headers(reinterpret_cast<const char*>(encoder_->extradata), encoder_->extradata_size);
        if (headers != encoderHeaders_) {
            setError(error, mediaLayerError(MediaLayerErrorCode::InvalidArgument,
                                            QStringLiteral("The encoder changed its parameter sets between two cuts.")));
            return false;
        }
    }
    AVCodecContext* c = encoder_.get();
    FramePtr frame;
    if (picture.format == c->pix_fmt && picture.width == c->width && picture.height == c->height) {
        frame.reset(av_frame_clone(&picture));
    } else {
        frame = makeFrame();
        if (frame) {
            frame->format = c->pix_fmt;
            frame->width = c->width;
            frame->height = c->height;
            int ret = av_frame_get_buffer(frame.get(), 0);
            if (ret >= 0) {
                scaler_.reset(sws_getCachedContext(scaler_.release(), picture.width, picture.height, AVPixelFormat(picture.format),
                                                   c->width, c->height, c->pix_fmt, SWS_BICUBIC, nullptr, nullptr, nullptr));
                ret = scaler_ ? sws_scale(scaler_.get(), picture.data, picture.linesize, 0, picture.height, frame->data, frame->linesize)
                              : AVERROR(EINVAL);
            }
            if (ret < 0) {
                setError(error, mediaError(ret, QStringLiteral("Cannot convert a picture for encoding")));
                return false;
            }
            av_frame_copy_props(frame.get(), &picture);
        }
    }
    if (!frame) {
        setError(error, mediaError(AVERROR(ENOMEM), QStringLiteral("Cannot encode a picture")));
        return false;
    }
    frame->pict_type = AV_PICTURE_TYPE_NONE;
    frame->key_frame = 0;
    frame->pts = pts;
    frame->pkt_duration = duration;
    durations_[pts] = duration;
    lastPts_ = pts;
    const int ret = avcodec_send_frame(c, frame.get());
    if (ret < 0) {
        setError(error, mediaError(ret, QStringLiteral("Cannot encode the pictures at a cut")));
        return false;
    }
    return handOut(handler, error);
}

bool SpliceEncoder::finishRun(const PacketHandler& handler, Error* error)
{
    if (!encoder_)
        return true;
    const int ret = avcodec_send_frame(encoder_.get(), nullptr);
    if (ret < 0 && ret != AVERROR_EOF) {
        setError(error, mediaError(ret, QStringLiteral("Cannot encode the pictures at a cut")));
        return false;
    }
    const bool ok = handOut(handler, error);
    // The next run begins with a new encoder, so that it refers to nothing of this one.
    encoder_.reset();
    durations_.clear();
    return ok;
}

bool SpliceEncoder::handOut(const PacketHandler& handler, Error* error)
{
    return receiveEncodedPackets(
        encoder_.get(),
        [&](PacketPtr packet, Error* e) {
            if (const auto known = durations_.find(packet->pts); known != durations_.end()) {
                packet->duration = known->second;
                durations_.erase(known);
            }
            if (!convert(*packet, e))
                return false;
            return handler(std::move(packet), e);
        },
        QStringLiteral("Cannot encode the pictures at a cut"), error);
}

bool SpliceEncoder::convert(AVPacket& packet, Error* error) const
{
    const Codec& codec = *codec_;
    if (codec.kind != Kind::H264 && codec.kind != Kind::Hevc)
        return true;
    std::vector<QByteArray> units = NalUnits::split(packet.data, packet.size, 0);
    if (codec.kind == Kind::Hevc) {
        for (QByteArray& unit : units) {
            unit = codec.rewriter.rewrite(unit);
            if (unit.isEmpty()) {
                setError(error, mediaLayerError(MediaLayerErrorCode::InvalidArgument,
                                                QStringLiteral("A picture encoded at a cut cannot be given its parameter sets.")));
                return false;
            }
        }
    }
    const QByteArray bytes = NalUnits::join(units, codec.source.record ? codec.source.lengthSize : 0);
    PacketPtr copy = makePacket();
    if (!copy || av_new_packet(copy.get(), int(bytes.size())) < 0 || av_packet_copy_props(copy.get(), &packet) < 0) {
        setError(error, mediaError(AVERROR(ENOMEM), QStringLiteral("Cannot encode the pictures at a cut")));
        return false;
    }
    memcpy(copy->data, bytes.constData(), size_t(bytes.size()));
    av_packet_unref(&packet);
    av_packet_move_ref(&packet, copy.get());
    return true;
}
