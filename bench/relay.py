#!/usr/bin/env python3
"""A userspace TCP relay that stands for a slow link between the program and a loopback server.

    python3 bench/relay.py LISTEN_ADDRESS:PORT TARGET_ADDRESS:PORT [--delay-ms 40] [--rate 2000000]

Every byte is delivered DELAY after it has gone onto the link, each way; the link carries RATE
bytes a second in each direction, and that rate is one token bucket per direction shared by
every connection through the relay (as a real link's is), not a limit per connection. A byte
waits for the bucket before it goes onto the link, so a busy link queues it as a router would,
and the sender feels that through TCP's own flow control (the relay reads no faster than the
link drains). The delay is a timestamp on each chunk, not a sleep per write, so a stream of
chunks keeps the full rate and is only shifted by DELAY. Needs nothing beyond its address
(port 80 wants root)."""

import argparse
import asyncio
import collections
import time

CHUNK = 8192


class Bucket:
    """One direction of the link: whoever asks first is served first."""

    def __init__(self, rate):
        self.rate = float(rate)
        self.free_at = time.monotonic()
        self.lock = asyncio.Lock()

    async def send(self, size):
        # The link is busy until free_at; this chunk occupies it for size/rate after that.
        async with self.lock:
            now = time.monotonic()
            start = max(now, self.free_at)
            self.free_at = start + size / self.rate
            wait = self.free_at - now
        if wait > 0:
            await asyncio.sleep(wait)
        return time.monotonic()


async def pump(reader, writer, bucket, delay):
    queue = collections.deque()
    ready = asyncio.Event()
    done = False

    async def deliver():
        while True:
            while not queue:
                if done:
                    return
                ready.clear()
                await ready.wait()
            due, data = queue.popleft()
            pause = due - time.monotonic()
            if pause > 0:
                await asyncio.sleep(pause)
            if data is None:
                break
            writer.write(data)
            await writer.drain()
        try:
            writer.write_eof()
        except OSError:
            pass

    sender = asyncio.ensure_future(deliver())
    try:
        while True:
            data = await reader.read(CHUNK)
            if not data:
                break
            sent = await bucket.send(len(data))
            queue.append((sent + delay, data))
            ready.set()
    except (ConnectionError, OSError):
        pass
    queue.append((time.monotonic() + delay, None))
    done = True
    ready.set()
    try:
        await sender
    except (ConnectionError, OSError):
        pass


async def serve(listen, target, delay, rate):
    down, up = Bucket(rate), Bucket(rate)

    async def handle(client_reader, client_writer):
        # The kernel has already answered the client's handshake; a real link would have
        # taken a round trip for it, so nothing the client sent moves before that.
        await asyncio.sleep(2 * delay)
        try:
            server_reader, server_writer = await asyncio.open_connection(*target)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pump(client_reader, server_writer, up, delay),
                             pump(server_reader, client_writer, down, delay))
        for w in (client_writer, server_writer):
            w.close()

    server = await asyncio.start_server(handle, listen[0], listen[1], reuse_address=True)
    async with server:
        await server.serve_forever()


def address(text):
    host, _, port = text.rpartition(":")
    if not host.startswith("127."):
        raise argparse.ArgumentTypeError("loopback addresses only: " + text)
    return host, int(port)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("listen", type=address)
    parser.add_argument("target", type=address)
    parser.add_argument("--delay-ms", type=float, default=40.0)
    parser.add_argument("--rate", type=float, default=2_000_000.0, help="bytes per second")
    args = parser.parse_args()
    asyncio.run(serve(args.listen, args.target, args.delay_ms / 1000.0, args.rate))


if __name__ == "__main__":
    main()
