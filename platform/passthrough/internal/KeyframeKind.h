// What kind of start a keyframe of a copied video stream offers. An IDR picture (and a keyframe of a
// codec whose keyframes stand alone) is a clean start. An HEVC CRA picture is a clean start once it
// is marked as a broken link (BLA): decoders then begin a new sequence there and leave out its leading
// pictures, which the copier leaves out anyway. An H.264 keyframe that is not IDR (an open group of
// pictures, marked by a recovery point) may be followed by frames that refer to pictures before it,
// so no copy may start there. In the output, only clean starts are sync samples: a player that begins
// decoding an edit at the sync sample before it must find its references.
//
// Reads and rewrites NAL unit headers only (length-prefixed as in MP4 and Matroska, or with start
// codes as in MPEG-TS); any thread.
#pragma once

extern "C" {
#include <libavcodec/codec_par.h>
#include <libavcodec/packet.h>
}

enum class KeyframeKind { Clean, OpenHevc, OpenH264 };

KeyframeKind keyframeKind(const AVPacket& keyframe, const AVCodecParameters& parameters);
// Whether every picture of the codec is a keyframe (ProRes, DNxHD, MJPEG): a copy may start anywhere.
bool everyPictureIsKeyframe(AVCodecID codec);
// Marks an HEVC CRA picture as a broken link, so that decoding may begin with it. False when the
// packet cannot be made writable.
bool markAsSpliceStart(AVPacket& keyframe, const AVCodecParameters& parameters);
