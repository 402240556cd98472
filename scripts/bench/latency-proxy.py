#!/usr/bin/env python3
"""A TCP relay on 127.0.0.1 that delays every chunk by a fixed time in each
direction, keeping the order and not limiting the bandwidth: a long link on
loopback. Prints the port it listens on, then relays until killed.

    latency-proxy.py UPSTREAM_PORT [DELAY_MS]
"""

import asyncio
import sys

CHUNK = 256 * 1024


async def pump(reader, writer, delay):
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def send():
        while True:
            due, data = await queue.get()
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if data is None:
                break
            writer.write(data)
            await writer.drain()
        try:
            writer.write_eof()
        except OSError:
            pass

    sender = asyncio.create_task(send())
    try:
        while True:
            data = await reader.read(CHUNK)
            queue.put_nowait((loop.time() + delay, data or None))
            if not data:
                break
        await sender
    except (ConnectionError, OSError):
        sender.cancel()
    finally:
        writer.close()


async def main():
    upstream = int(sys.argv[1])
    delay = (float(sys.argv[2]) if len(sys.argv) > 2 else 25.0) / 1000.0

    async def relay(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", upstream)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pump(client_reader, server_writer, delay),
                             pump(server_reader, client_writer, delay),
                             return_exceptions=True)

    server = await asyncio.start_server(relay, "127.0.0.1", 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
