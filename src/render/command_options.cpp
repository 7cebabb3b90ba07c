#include "command_options.h"

#include <CLI/CLI.hpp>

namespace render {

void AddVideoOptions(CLI::App& set, SetOptions& o, CLI::Option* output, CLI::Option* zoom);

// The numbers of --view, --border and --main are one value of several words each, which the
// parser takes as they come, like the word after any other option: "--view -0.5 -.25 ..." is
// then four numbers, not a number and an unknown option. CheckCommandLine has made sure that
// the words are there.
void AddSetCommand(CLI::App& app, SetOptions& o) {
    CLI::App* set = app.add_subcommand("set", "Render a Mandelbrot or Julia set as the explorer draws it");
    set->add_option("--kind", o.kind, "mandelbrot (the default) or julia")
        ->check(CLI::IsMember({"mandelbrot", "julia"}))
        ->type_name("KIND");
    set->add_option("--julia", o.julia,
                    "Julia set with the constant RE/IM, as in the explorer's start-point list "
                    "(--julia -0.5/0.6 or --julia=-0.5/0.6)")
        ->type_name("RE/IM");
    set->add_option("--view", o.view,
                    "The part of the complex plane: real part at the left and right edge, imaginary part "
                    "at the bottom and top edge (default: the kind's default view, -2 1 -1.5 1.5 or "
                    "-1.5 1.5 -1.5 1.5). Each pair must differ; a minimum above its maximum mirrors the "
                    "picture, as a band dragged leftwards or downwards does in the explorer")
        ->type_size(4)
        ->expected(1)
        ->type_name("RE_MIN RE_MAX IM_MIN IM_MAX");
    // Decimals are kept exactly, so a centre may have hundreds of digits and a radius may go far
    // below what a double holds.
    set->add_option("--centre", o.centre,
                    "A deep view's middle, exact decimals of any length such as "
                    "-0.75 0.1 or -1.7e-3 0; with --radius, instead of --view")
        ->type_size(2)
        ->expected(1)
        ->type_name("RE IM");
    set->add_option("--radius", o.radius,
                    "A deep view's half-height, a decimal above zero down to 1e-100000 "
                    "(the width follows the picture's aspect)")
        ->type_name("R");
    set->add_option("--iterations", o.iterations,
                    "A deep view's iteration limit, 1 to 100000000 (default 256, the explorer's); counts "
                    "beyond 256 take the border colour steps round again")
        ->type_name("N");
    set->add_option("--border", o.border, "Border colour steps, each 0..255 (default 16 2 4)")
        ->type_size(3)
        ->expected(1)
        ->type_name("R G B");
    set->add_option("--main", o.main, "Main colour of the points that never escape (default 255 255 0)")
        ->type_size(3)
        ->expected(1)
        ->type_name("R G B");
    CLI::Option* subtractive = set->add_flag(
        "--subtractive", o.subtractive, "Subtractive colour mixing: level n is the border colour minus n");
    CLI::Option* additive = set->add_flag(
        "--additive", o.additive, "Additive colour mixing, level n is n times the border colour (default)");
    subtractive->excludes(additive);
    CLI::Option* size =
        set->add_option("--size", o.size, "Picture size in pixels (default 601x601, or the stored picture's)")
            ->type_name("WxH");
    CLI::Option* width = set->add_option("--width", o.width,
                                         "Picture width; the height follows the view's aspect: "
                                         "round(W * |IM_MAX - IM_MIN| / |RE_MAX - RE_MIN|)")
                             ->type_name("W");
    size->excludes(width);
    set->add_option("--from", o.from,
                    "Take every parameter from the record of a picture stored by the explorer or by this "
                    "program; options given beside it override it")
        ->type_name("PICTURE");
    CLI::Option* output =
        set->add_option("-o,--output", o.output, "The picture to write: .png or .jpg, chosen by the name")
            ->type_name("OUT");
    CLI::Option* zoom = set->add_option("--zoom-sequence", o.zoomSequence,
                                        "Write N pictures that fly from the kind's default view into the "
                                        "target view (--view, or a deep view by --centre and --radius), as "
                                        "NAME_001.JPG ... for the explorer's slide show; a mirrored target "
                                        "is flown to mirrored all the way")
                            ->type_name("N");
    set->add_option("--base", o.base,
                    "Base name of the zoom sequence, possibly with a folder; missing folders are made "
                    "(as mkdir -p does). The pictures replace same-named ones only once all are done")
        ->type_name("NAME")
        ->needs(zoom);
    zoom->excludes(output);
    AddVideoOptions(*set, o, output, zoom);
    set->add_flag("-q,--quiet", o.quiet, "No progress line and no list of the files written");
    set->add_option("--tile", o.tile,
                    "Render only tile I of N (counted from 1, top to bottom) of the picture: a band of "
                    "whole strips of rows, written as a PNG file (-o) that names its place; "
                    "'fractal-render assemble' puts the tiles together")
        ->type_name("I/N")
        ->excludes(zoom);
    CLI::Option* save = set->add_option("--save-reference", o.saveReference,
                                        "Write the deep view's reference orbit to FILE, for other runs of "
                                        "the same view (--load-reference); without -o nothing else is done")
                            ->type_name("FILE")
                            ->excludes(zoom);
    set->add_option("--load-reference", o.loadReference,
                    "Read the deep view's reference orbit from FILE (--save-reference) instead of "
                    "computing it; a file of another view is refused")
        ->type_name("FILE")
        ->excludes(zoom)
        ->excludes(save);
}

// A zoom video's options of `set`: the target is given as for a picture, --size is the video's.
void AddVideoOptions(CLI::App& set, SetOptions& o, CLI::Option* output, CLI::Option* zoom) {
    CLI::Option* video =
        set.add_option("--video", o.video,
                       "Write a zoom video (.mp4, .mkv or .webm) from the kind's default view into the "
                       "target view, the radius halving every --doubling-seconds; --size is then the video's "
                       "(default 1280x720). It is made from keyframes, one per halving, kept in --keyframes")
            ->type_name("OUT");
    video->excludes(output)->excludes(zoom);
    set.add_option("--fps", o.fps, "Frames a second of the video (default 60)")->type_name("N");
    set.add_option("--doubling-seconds", o.doublingSeconds,
                   "Seconds of the video in which the radius halves (default 1)")
        ->type_name("S");
    set.add_option("--codec", o.codec,
                   "ffmpeg's video encoder (default libx264 for .mp4 and .mkv, libvpx-vp9 for .webm)")
        ->type_name("NAME");
    set.add_option("--ffmpeg", o.ffmpeg, "The ffmpeg program (default: ffmpeg on PATH)")->type_name("PATH");
    set.add_option("--keyframes", o.keyframes,
                   "Folder of the video's keyframes (default beside the video: OUT without its extension, "
                   "plus .keyframes); finished keyframes are used again by a later run")
        ->type_name("DIR");
    CLI::Option* only = set.add_flag("--keyframes-only", o.keyframesOnly,
                                     "Count the video's keyframes into --keyframes and make no video");
    only->excludes(output)->excludes(zoom);
    set.add_flag("--keyframes-count", o.keyframesCount,
                 "Print how many keyframes the video has (numbered from 0, for --range) and make nothing")
        ->excludes(output)
        ->excludes(zoom)
        ->excludes(only);
    set.add_option("--range", o.range,
                   "With --keyframes-only: the keyframes FIRST to LAST (from 0, both included), so that "
                   "several machines can share the work")
        ->type_name("FIRST:LAST");
}

void AddAssembleCommand(CLI::App& app, AssembleOptions& o) {
    CLI::App* assemble = app.add_subcommand(
        "assemble", "Put together what was rendered apart: a picture from its tiles (set --tile), or a "
                    "video from its keyframe folder");
    assemble
        ->add_option("INPUT", o.inputs,
                     "The tiles, each a PNG file written by 'set --tile', or a folder: every PNG tile in it")
        ->type_name("TILE|FOLDER");
    assemble
        ->add_option("-o,--output", o.output,
                     "The whole picture: .png or .jpg, chosen by the name; byte for byte what one "
                     "run of 'set' writes")
        ->type_name("OUT");
    assemble->add_option("--keyframes", o.keyframes, "The folder of a video's keyframes, all of them done")
        ->type_name("DIR");
    assemble->add_option("--video", o.video, "The video to write: .mp4, .mkv or .webm")->type_name("OUT");
    assemble->add_option("--size", o.size, "Size of the video (default: the folder's)")->type_name("WxH");
    assemble->add_option("--fps", o.fps, "Frames a second (default: the folder's)")->type_name("N");
    assemble
        ->add_option("--doubling-seconds", o.doublingSeconds,
                     "Seconds for the radius to halve (default: the folder's)")
        ->type_name("S");
    assemble->add_option("--codec", o.codec, "ffmpeg's video encoder")->type_name("NAME");
    assemble->add_option("--ffmpeg", o.ffmpeg, "The ffmpeg program (default: ffmpeg on PATH)")
        ->type_name("PATH");
    assemble->add_flag("-q,--quiet", o.quiet, "No progress line and no name of the file written");
}

void AddLsystemCommand(CLI::App& app, LsystemOptions& o) {
    CLI::App* lsystem = app.add_subcommand("lsystem", "Draw an L-system as the generator draws it");
    CLI::Option* file = lsystem
                            ->add_option("FILE", o.file,
                                         "A formula file of the generator (ten lines: formula, factor, "
                                         "right and left angle, start length, node radius, iterations, "
                                         "start point x and y, 1 for a horizontal start)")
                            ->type_name("FILE.frc");
    CLI::Option* preset =
        lsystem
            ->add_option("--preset", o.preset,
                         "One of the generator's built-in formulas F1 to F7: 1 to 4 trees, 5 the Koch curve, "
                         "6 the Sierpinski triangle, 7 the Peano curve")
            ->type_name("N");
    CLI::Option* from =
        lsystem
            ->add_option("--from", o.from,
                         "Take the drawing, with its background, from the record of a JPEG stored "
                         "by the generator (F9) or of a JPEG, PNG, SVG or PDF drawing written by "
                         "this program")
            ->type_name("PICTURE");
    file->excludes(preset)->excludes(from);
    preset->excludes(from);
    lsystem
        ->add_option("--size", o.size,
                     "Size of the drawing area in pixels (default 493x493, the generator's, or the stored "
                     "picture's). Another size scales the start length, node radius and start point by the "
                     "smaller of the two side ratios")
        ->type_name("WxH");
    lsystem
        ->add_option("--background", o.background,
                     "white (the default: black lines) or black (yellow lines), the generator's two choices")
        ->type_name("COLOUR");
    lsystem
        ->add_option("--pen-width", o.penWidth,
                     "Line width in pixels, 1 to 10000 (default 1 at the generator's size; a larger size "
                     "widens the lines by the same ratio as the lengths, rounded, so the drawing looks "
                     "like the generator's enlarged)")
        ->type_name("N");
    lsystem
        ->add_option(
            "-o,--output", o.output,
            "The drawing to write: .svg or .pdf as vectors, .png or .jpg in pixels, chosen by the name")
        ->type_name("OUT");
    lsystem->add_flag("-q,--quiet", o.quiet, "No progress line and no name of the file written");
}

} // namespace render
