// The arithmetic of pass-through copying, in exact time: which packets of a source stream a kept piece
// copies, by how much the piece's packets move in the output, and what the edit list then shows.
//
// A piece [start, end) of a video source is copied from the keyframe at or before its start (so that
// decoders have their references) through every frame decoded before its end (so that the last frames
// shown have theirs); other tracks from a little before that keyframe (decoders' pre-roll) to the end.
// All tracks of a piece move by one amount, so that they stay in sync also for players that ignore
// edit lists: far enough that the piece begins after everything written so far, and that its first
// frame decodes after the last one written. The edit list then shows each piece from its start for
// its length. Plain functions over values; any thread.
#pragma once

#include "CMTime.h"
#include "MediaTypes.h"

#include <vector>

namespace PassthroughPlan {

enum class Decision { Skip, Copy, TrackDone };

// How long before a piece's first frame other tracks start copying: audio decoders need a packet or
// two before the first sample they are to produce.
inline const CMTime kPreroll = CMTimeMake(1, 10);

// A video packet: skipped when it decodes before the keyframe or shows before it (it belongs to the
// previous group of pictures); the track is done with the first packet decoded at or after the end.
Decision videoPacket(CMTime shownAt, CMTime decodedAt, CMTime keyframeShown, CMTime keyframeDecoded, CMTime end);
// Any other packet: done with the first shown at or after the end; skipped when it ends at or before
// the copy start (a packet without duration: when it starts before it).
Decision otherPacket(CMTime shownAt, CMTime shownUntil, CMTime copyStart, CMTime end);

// The amount a piece moves: its copy start lands at or after outputEnd, and its keyframe decodes at
// least one tick after the last frame written (lastVideoDecode invalid before the first frame).
CMTime pieceShift(CMTime outputEnd, CMTime copyStart, CMTime keyframeDecoded, CMTime lastVideoDecode, CMTime videoTick);

// A decode time for a packet whose source states none: Matroska keeps presentation times only, and
// its demuxer derives decode times (the presentation times in order, `delay` packets behind) only
// from the delay-th packet after a seek on. The packets before it, counted from the piece's keyframe,
// decode that many frames before the keyframe is shown. Stream ticks.
inline int64_t missingDecodeTime(int64_t keyframePts, int delay, int64_t frameDuration, int64_t index)
{
    return keyframePts - (delay - index) * frameDuration;
}

// Where a piece's kept start lies in a track's media time (which begins with the track's first
// sample, decoded at firstDecode in the output).
inline CMTime editMediaStart(CMTime pieceStart, CMTime shift, CMTime firstDecode)
{
    return CMTimeSubtract(CMTimeAdd(pieceStart, shift), firstDecode);
}

// Chapters in output time for pieces that begin earlier than asked (at a keyframe, where no edit list
// hides the lead-in): piece p of requested length durations[p] begins leadIns[p] early, so everything
// from its start on moves later by the lead-ins of the pieces up to and with it. Chapter ends move with
// the piece they fall in.
std::vector<MediaChapter> chaptersAfterLeadIns(std::vector<MediaChapter> chapters, const std::vector<CMTime>& durations,
                                               const std::vector<CMTime>& leadIns);

} // namespace PassthroughPlan
