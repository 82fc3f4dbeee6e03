#!/usr/bin/python3
"""A live RTSP peer for the live-view tests: a recorder's four channels.

Serves rtsp://127.0.0.1:PORT/chn0 .. /chn3, each a live 352x288 25 fps H.264
stream (x264enc tune=zerolatency key-int-max=25 ! rtph264pay). Every picture
carries its frame number as a luma barcode in its top rows: 16 bits, most
significant first, each bit a 22-pixel-wide block of 32 rows, white (235)
for 1 and black (16) for 0. The frame numbers of a channel count from 0 when
its first client connects.

Prints the bound port on the first line of stdout, then runs until killed.

Options:
  --port N              bind this port (default 0: any free port)
  --sdp-params-only     SPS and PPS only in the SDP, never in the stream
  --auth USER:PASS      basic authentication
  --push-log FILE       one line per picture pushed into the encoder:
                        "CHANNEL FRAME MONOTONIC_NS" (CLOCK_MONOTONIC)
"""
import argparse
import os
import sys
import threading
import time

import gi

gi.require_version("Gst", "1.0")
gi.require_version("GstRtspServer", "1.0")
from gi.repository import GLib, Gst, GstRtspServer  # noqa: E402

WIDTH, HEIGHT, FPS = 352, 288, 25
BITS, BAR_ROWS = 16, 32
BLOCK = WIDTH // BITS  # 22
FRAME_NS = 1_000_000_000 // FPS
Y_SIZE = WIDTH * HEIGHT
FRAME_SIZE = Y_SIZE * 3 // 2


def make_base(channel):
    """A grey picture with a darker band per channel; chroma neutral."""
    y = bytearray([96 + 24 * channel]) * Y_SIZE
    uv = bytearray([128]) * (Y_SIZE // 2)
    return y + uv


def barcode_rows(number):
    row = bytearray()
    for bit in range(BITS):
        on = (number >> (BITS - 1 - bit)) & 1
        row += bytes([235 if on else 16]) * BLOCK
    return bytes(row) * BAR_ROWS


class Channel:
    """Feeds one media's appsrc at 25 fps from its own thread."""

    def __init__(self, index, appsrc, log):
        self.index = index
        self.appsrc = appsrc
        self.log = log
        self.stop = threading.Event()
        self.base = make_base(index)
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def picture(self, n):
        frame = bytearray(self.base)
        frame[0:WIDTH * BAR_ROWS] = barcode_rows(n & 0xFFFF)
        # A bright box that moves, so that the encoder has motion to code.
        x = (n * 4) % (WIDTH - 32)
        box = bytes([220]) * 32
        for r in range(100, 132):
            frame[r * WIDTH + x:r * WIDTH + x + 32] = box
        return bytes(frame)

    def run(self):
        start = time.monotonic_ns()
        n = 0
        while not self.stop.is_set():
            due = start + n * FRAME_NS
            wait = due - time.monotonic_ns()
            if wait > 0 and self.stop.wait(wait / 1e9):
                break
            buf = Gst.Buffer.new_wrapped(self.picture(n))
            buf.pts = n * FRAME_NS
            buf.dts = buf.pts
            buf.duration = FRAME_NS
            pushed = time.clock_gettime_ns(time.CLOCK_MONOTONIC)
            if self.appsrc.emit("push-buffer", buf) != Gst.FlowReturn.OK:
                break
            if self.log:
                self.log.write("%d %d %d\n" % (self.index, n, pushed))
                self.log.flush()
            n += 1


class Factory(GstRtspServer.RTSPMediaFactory):
    def __init__(self, index, sdp_params_only, log, channels):
        super().__init__()
        self.index = index
        self.log = log
        self.channels = channels
        interval = 0 if sdp_params_only else -1
        # In avc form the encoder hands SPS and PPS over in its caps only;
        # in byte-stream form with repeated headers they travel in band too.
        form = "avc" if sdp_params_only else "byte-stream"
        repeat = 0 if sdp_params_only else 1
        self.launch = (
            "( appsrc name=src is-live=true format=time "
            "caps=video/x-raw,format=I420,width=%d,height=%d,framerate=%d/1 "
            "! x264enc tune=zerolatency key-int-max=%d speed-preset=ultrafast threads=1 "
            "option-string=repeat-headers=%d "
            "! video/x-h264,stream-format=%s,alignment=au "
            "! rtph264pay name=pay0 pt=96 config-interval=%d )"
            % (WIDTH, HEIGHT, FPS, FPS, repeat, form, interval))
        self.set_shared(True)
        self.connect("media-configure", self.on_configure)

    def do_create_element(self, url):
        return Gst.parse_launch(self.launch)

    def on_configure(self, factory, media):
        element = media.get_element()
        appsrc = element.get_child_by_name("src")
        channel = Channel(self.index, appsrc, self.log)
        self.channels.append(channel)
        media.connect("unprepared", lambda m: channel.stop.set())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--sdp-params-only", action="store_true")
    parser.add_argument("--auth", default="")
    parser.add_argument("--push-log", default="")
    args = parser.parse_args()

    Gst.init(None)
    log = open(args.push_log, "a", buffering=1) if args.push_log else None
    server = GstRtspServer.RTSPServer()
    server.set_address("127.0.0.1")
    server.set_service(str(args.port))
    mounts = server.get_mount_points()
    channels = []
    permissions = None
    if args.auth:
        user, _, password = args.auth.partition(":")
        auth = GstRtspServer.RTSPAuth()
        token = GstRtspServer.RTSPToken()
        token.set_string("media.factory.role", "user")
        auth.add_basic(GstRtspServer.RTSPAuth.make_basic(user, password), token)
        server.set_auth(auth)
        permissions = GstRtspServer.RTSPPermissions()
        permissions.add_role_from_structure(Gst.Structure.new_from_string(
            "user, media.factory.access=(boolean)true, media.factory.construct=(boolean)true"))
    for c in range(4):
        factory = Factory(c, args.sdp_params_only, log, channels)
        if permissions is not None:
            factory.set_permissions(permissions)
        mounts.add_factory("/chn%d" % c, factory)
    if server.attach(None) == 0:
        print("rtsp_server: cannot bind 127.0.0.1:%d" % args.port, file=sys.stderr)
        return 1
    print(server.get_bound_port(), flush=True)
    loop = GLib.MainLoop()
    try:
        loop.run()
    except KeyboardInterrupt:
        pass
    for ch in channels:
        ch.stop.set()
    return 0


if __name__ == "__main__":
    sys.exit(main())
