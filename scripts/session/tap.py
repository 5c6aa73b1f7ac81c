"""The tap between the sound server and its clients."""
import contextlib
import dataclasses
import socket
import struct

# The checker records 16-bit mono at 11025 samples per second; the clip is
# 8-bit mono at the same rate, so Wine passes its samples on unchanged. A
# sample format: PulseAudio's (0 u8, 3 s16le), channels, rate.
RECORDING_STREAM = ("record", (3, 1, 11025))
CLIP_STREAM = ("playback", (0, 1, 11025))

REPLY = 2
CREATE = {3: "playback", 5: "record"}
DELETE = {4: "playback", 6: "record"}


@dataclasses.dataclass
class Stream:
    """A stream a client made: its kind, its sample format, when it was
    created and deleted (in the board's ticks), and the samples sent on it."""
    kind: str
    format: tuple
    created: int
    deleted: int = None
    samples: bytearray = dataclasses.field(default_factory=bytearray)

    def of(self, kind_and_format):
        return (self.kind, self.format) == kind_and_format

    def brief(self):
        return [self.kind, self.format, self.created, self.deleted]


class Connection:
    """One client's conversation with the sound server, read as it passes.
    A frame is a 20-byte descriptor (length, channel, offset, flags;
    big-endian) and its payload. Channel 0xffffffff carries a command: a
    tagged structure that opens with the command ('L' and 4 bytes), its
    sequence tag (the same) and the arguments, of which the tap reads the
    first: the sample format ('a', format, channels, rate) of a stream's
    creation, the channel ('L') of the reply to it and of a deletion. Other
    channels carry the samples of the playback stream on them."""

    def __init__(self, board):
        self.board, self.pending, self.streams = board, {}, {}

    def read(self, buffer, client):
        while len(buffer) >= 20 and len(buffer) >= 20 + struct.unpack_from(">I", buffer)[0]:
            length, channel = struct.unpack_from(">II", buffer)
            frame = bytes(buffer[20:20 + length])
            del buffer[:20 + length]
            if channel != 0xFFFFFFFF:
                if client and ("playback", channel) in self.streams:
                    self.streams["playback", channel].samples += frame
                continue
            if len(frame) < 15 or frame[0] != ord("L") or frame[5] != ord("L"):
                continue
            command, tag, first, number = struct.unpack_from(">xIxIcI", frame)
            if client and command in CREATE and first == b"a":
                self.pending[tag] = Stream(CREATE[command], struct.unpack_from(">BBI", frame, 11),
                                           next(self.board.ticks))
            elif client and command in DELETE and first == b"L":
                self.delete(self.streams.get((DELETE[command], number)))
            elif not client and command == REPLY and tag in self.pending and first == b"L":
                stream = self.pending.pop(tag)
                self.streams[stream.kind, number] = stream
                self.board.streams.append(stream)
                self.board.stream_made(stream)

    def delete(self, stream):
        if stream is not None and stream.deleted is None:
            stream.deleted = next(self.board.ticks)


def pump(source, sink, client, connection):
    """Passes one direction of a connection on, each frame read before it
    passes (a reply before the client sees it); its end ends the streams."""
    buffer = bytearray()
    with source, sink:
        with contextlib.suppress(OSError):
            for data in iter(lambda: source.recv(65536), b""):
                buffer += data
                connection.read(buffer, client)
                sink.sendall(data)
        for s in (source, sink):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
    for stream in list(connection.streams.values()):
        connection.delete(stream)

