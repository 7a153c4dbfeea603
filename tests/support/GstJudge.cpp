// What GStreamer, as the system installs it, shows of a media file: the file is played to its end
// with playbin (as GNOME Videos, Clapper and Rhythmbox play it, subtitles not drawn), unsynchronised,
// and every picture and sample that reaches the sinks is reported on standard output as JSON lines:
//   {"frame": N, "time": seconds}      a picture (N: the number a test picture shows, or -1) and its
//                                      running time, when a player would show it
//   {"audio": samples, "rate": R, "start": seconds}  the audio that reached the sink (mono)
//   {"message": "..."}                  an error or warning on the bus
// Exit status 0 at the end of the stream, 1 on an error, 2 on a timeout (60 s).
// Usage: clipwell_gst_judge FILE
#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Judge {
    GMainLoop* loop = nullptr;
    int status = 0;
    long long samples = 0;
    int rate = 0;
    double audioStart = -1;
};

double runningTime(GstSample* sample, GstBuffer* buffer)
{
    const GstSegment* segment = gst_sample_get_segment(sample);
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    if (!segment || !GST_CLOCK_TIME_IS_VALID(pts))
        return -1;
    const guint64 running = gst_segment_to_running_time(segment, GST_FORMAT_TIME, pts);
    return GST_CLOCK_TIME_IS_VALID(running) ? double(running) / GST_SECOND : -1;
}

// The frame number of a test picture: its left half shows N mod 16, its right half N / 16, as grey levels.
int frameNumber(const guint8* luma, int width, int height, int stride)
{
    const auto level = [&](int x) { return int(std::lround((int(luma[(height / 2) * stride + x]) - 16) / 14.0)); };
    const int low = level(width / 4), high = level(width * 3 / 4);
    return low < 0 || low > 15 || high < 0 || high > 15 ? -1 : low + 16 * high;
}

GstFlowReturn onVideo(GstAppSink* sink, gpointer)
{
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample)
        return GST_FLOW_ERROR;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstCaps* caps = gst_sample_get_caps(sample);
    const GstStructure* structure = gst_caps_get_structure(caps, 0);
    int width = 0, height = 0;
    gst_structure_get_int(structure, "width", &width);
    gst_structure_get_int(structure, "height", &height);
    GstMapInfo map;
    int number = -1;
    if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        // I420: the luma plane first, its rows padded to a multiple of four.
        const int stride = (width + 3) & ~3;
        if (map.size >= gsize(stride) * gsize(height))
            number = frameNumber(map.data, width, height, stride);
        gst_buffer_unmap(buffer, &map);
    }
    std::printf("{\"frame\": %d, \"time\": %.6f}\n", number, runningTime(sample, buffer));
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

GstFlowReturn onAudio(GstAppSink* sink, gpointer data)
{
    auto* judge = static_cast<Judge*>(data);
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample)
        return GST_FLOW_ERROR;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    const GstStructure* structure = gst_caps_get_structure(gst_sample_get_caps(sample), 0);
    gst_structure_get_int(structure, "rate", &judge->rate);
    if (judge->audioStart < 0)
        judge->audioStart = runningTime(sample, buffer);
    GstMapInfo map;
    if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        // The samples themselves go to a file named by the environment, for beep detection.
        if (const char* path = std::getenv("CLIPWELL_GST_AUDIO"))
            if (FILE* out = std::fopen(path, "ab")) {
                std::fwrite(map.data, 1, map.size, out);
                std::fclose(out);
            }
        judge->samples += (long long)(map.size / 2);
        gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

gboolean onMessage(GstBus*, GstMessage* message, gpointer data)
{
    auto* judge = static_cast<Judge*>(data);
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_EOS:
        g_main_loop_quit(judge->loop);
        break;
    case GST_MESSAGE_ERROR:
    case GST_MESSAGE_WARNING: {
        GError* error = nullptr;
        gchar* debug = nullptr;
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
            gst_message_parse_error(message, &error, &debug);
        else
            gst_message_parse_warning(message, &error, &debug);
        std::string text = error ? error->message : "unknown";
        // playbin's remark that the judge's own sink has no volume control says nothing of the file.
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_WARNING && text == "No volume control found") {
            g_clear_error(&error);
            g_free(debug);
            break;
        }
        for (char& c : text)
            if (c == '"' || c == '\\' || c == '\n')
                c = ' ';
        std::printf("{\"message\": \"%s\"}\n", text.c_str());
        g_clear_error(&error);
        g_free(debug);
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
            judge->status = 1;
            g_main_loop_quit(judge->loop);
        }
        break;
    }
    default:
        break;
    }
    return TRUE;
}

gboolean onTimeout(gpointer data)
{
    auto* judge = static_cast<Judge*>(data);
    judge->status = 2;
    g_main_loop_quit(judge->loop);
    return FALSE;
}

GstElement* sinkBin(const char* description, const char* sinkName, GCallback callback, Judge* judge)
{
    GError* error = nullptr;
    GstElement* bin = gst_parse_bin_from_description(description, TRUE, &error);
    if (!bin) {
        std::fprintf(stderr, "%s\n", error ? error->message : "cannot make a sink");
        std::exit(1);
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(bin), sinkName);
    g_object_set(sink, "emit-signals", TRUE, "sync", FALSE, nullptr);
    g_signal_connect(sink, "new-sample", callback, judge);
    gst_object_unref(sink);
    return bin;
}

} // namespace

int main(int argc, char** argv)
{
    gst_init(&argc, &argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: clipwell_gst_judge FILE\n");
        return 1;
    }
    Judge judge;
    judge.loop = g_main_loop_new(nullptr, FALSE);
    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    gchar* uri = gst_filename_to_uri(argv[1], nullptr);
    g_object_set(playbin, "uri", uri, nullptr);
    g_free(uri);
    // Video and audio only: drawn subtitles would change the pictures' grey levels.
    g_object_set(playbin, "flags", 0x1 | 0x2, nullptr);
    g_object_set(playbin, "video-sink",
                 sinkBin("videoconvert ! video/x-raw,format=I420 ! appsink name=v", "v", G_CALLBACK(onVideo), &judge), nullptr);
    g_object_set(
        playbin, "audio-sink",
        sinkBin("audioconvert ! audio/x-raw,format=S16LE,channels=1,layout=interleaved ! appsink name=a", "a", G_CALLBACK(onAudio), &judge),
        nullptr);
    GstBus* bus = gst_element_get_bus(playbin);
    gst_bus_add_watch(bus, onMessage, &judge);
    gst_object_unref(bus);
    g_timeout_add_seconds(60, onTimeout, &judge);
    gst_element_set_state(playbin, GST_STATE_PLAYING);
    g_main_loop_run(judge.loop);
    gst_element_set_state(playbin, GST_STATE_NULL);
    std::printf("{\"audio\": %lld, \"rate\": %d, \"start\": %.6f}\n", judge.samples, judge.rate, judge.audioStart);
    gst_object_unref(playbin);
    g_main_loop_unref(judge.loop);
    return judge.status;
}
