// Gives the parameter sets of an HEVC encoder's output identifiers of its own, so that they can sit
// beside a source stream's in one configuration record (hvcC): the encoder numbers its VPS, SPS and
// PPS 0, and so does nearly every source. The VPS's id is a fixed field; the SPS's and the PPS's are
// Exp-Golomb codes whose length changes with the value, so every unit that names one is rewritten
// bit by bit: the parameter sets up to their trailing bits, each slice up to the end of its header
// (found by reading the whole header, which needs the SPS and PPS it refers to). The slice data that
// follows the header is byte-aligned and copied unchanged.
//
// Reads the features an encoder set up by this program uses; configure() refuses parameter sets
// with others (scaling lists, weighted prediction, list modification, extensions), so a stream is
// never rewritten wrongly. One thread; plain value.
#pragma once

#include "NalUnits.h"

#include <QString>

#include <vector>

class HevcIdRewriter {
public:
    // The encoder's own parameter sets (one of each) and the identifiers they are to have.
    bool configure(const NalUnits::Configuration& encoder, int vpsId, int spsId, int ppsId, QString* why);
    // The unit with the new identifiers; units that name none come back unchanged. Empty when a slice
    // header cannot be read.
    QByteArray rewrite(const QByteArray& unit) const;

private:
    struct ShortTermSet {
        int deltaPocs = 0;
    };
    bool readSps(const QByteArray& payload, QString* why);
    bool readPps(const QByteArray& payload, QString* why);
    // Bit positions in the unescaped unit (header included) where the first id field begins and, for
    // a slice, where its header ends (before byte_alignment).
    QByteArray rewriteVps(const QByteArray& payload) const;
    QByteArray rewriteSps(const QByteArray& payload) const;
    QByteArray rewritePps(const QByteArray& payload) const;
    QByteArray rewriteSlice(const QByteArray& payload, int type) const;
    // Reads an st_ref_pic_set(); returns its number of delta POCs, −1 when it cannot be read.
    int readShortTermSet(class BitReader& reader, int index) const;

    int vpsId_ = 0, spsId_ = 0, ppsId_ = 0;
    // From the SPS.
    int chromaFormat_ = 1;
    bool separateColourPlanes_ = false;
    int pocLsbBits_ = 4;
    int sliceAddressBits_ = 0;
    std::vector<ShortTermSet> shortTermSets_;
    bool longTermRefs_ = false;
    int longTermRefsInSps_ = 0;
    bool temporalMvp_ = false;
    bool sao_ = false;
    // From the PPS.
    bool dependentSlices_ = false;
    bool outputFlagPresent_ = false;
    int extraSliceHeaderBits_ = 0;
    bool cabacInitPresent_ = false;
    int refIdxL0Default_ = 1, refIdxL1Default_ = 1;
    bool sliceChromaQpOffsets_ = false;
    bool deblockingOverrideEnabled_ = false;
    bool ppsDeblockingDisabled_ = false;
    bool loopFilterAcrossSlices_ = false;
    bool entryPoints_ = false;
    bool sliceHeaderExtension_ = false;
};
