#!/usr/bin/env python3
"""Reference relay for the sync benchmark, written with python3-websockets.

Does the same fan-out as the service without storing anything: a connection joins the group of the
"KEY" it sends, a SET_DAY goes out as UPDATE_DAY to the key's other connections, GET_CURRENT_WEEK is
answered with an empty week. Prints "relay: listening on 127.0.0.1:PORT" once it accepts connections.
Usage: relay.py [PORT]   (0, the default, picks a free port)
"""
import asyncio
import json
import sys

import websockets

groups = {}


def leave(ws, key):
    if key is not None:
        group = groups.get(key)
        if group is not None:
            group.discard(ws)
            if not group:
                del groups[key]


async def serve_connection(ws, path=None):
    key = None
    try:
        async for text in ws:
            try:
                message = json.loads(text)
            except ValueError:
                continue
            sent_key = message.get("KEY")
            if not isinstance(sent_key, str) or not sent_key:
                await ws.send('{"ACTION":"STATUS","STATUS":3}')
                continue
            if sent_key != key:
                leave(ws, key)
                key = sent_key
                groups.setdefault(key, set()).add(ws)
            action = message.get("ACTION")
            if action == "SET_DAY":
                day = next((name for name in message if name not in ("ACTION", "KEY", "timestamp")), None)
                if day is None:
                    continue
                push = json.dumps({"ACTION": "UPDATE_DAY", day: message[day],
                                   "timestamp": message.get("timestamp", "")}, separators=(",", ":"))
                websockets.broadcast([other for other in groups[key] if other is not ws], push)
            elif action == "GET_CURRENT_WEEK":
                await ws.send('{"ACTION":"RES_GET_DAYS_RANGE","STATUS":0,"ITEM":{"days":{}}}')
    except websockets.ConnectionClosed:
        pass
    finally:
        leave(ws, key)


async def main():
    port = int(sys.argv[1]) if len(sys.argv) > 1 else 0
    async with websockets.serve(serve_connection, "127.0.0.1", port, backlog=1024, max_size=4 << 20) as server:
        print("relay: listening on 127.0.0.1:%d" % server.sockets[0].getsockname()[1], flush=True)
        await asyncio.Future()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
