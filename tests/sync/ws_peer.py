#!/usr/bin/env python3
"""A WebSocket server built on the python3-websockets library, as an independent peer.

Prints "PORT <n>" once listening on 127.0.0.1, then one line per event. Mode (argv[1]):
  echo       echoes every message; prints "RECV <length in characters>"
  ping       pings the client with "abc"; prints "PONG" once the matching pong arrived, then
             sends the text "pong seen"
  fragments  sends "Прив" + "ет" as one fragmented text message, then "after"
  week       prints "MSG <message>" for each message; answers GET_CURRENT_WEEK with a week of
             note, template and two days, and SET_DAY with an UPDATE_DAY of the same day whose
             text is "pushed: " + the sent text
  close1001  closes the first connection with code 1001 and prints "CLOSED <code the client sent>";
             on every later connection prints "MSG <message>" for each message
"""
import asyncio
import json
import sys

import websockets

MODE = sys.argv[1] if len(sys.argv) > 1 else "echo"
connections = 0


def exit_when_stdin_closes():
    """The test process holds our stdin; when it goes away, so do we."""
    import os
    import threading

    def watch():
        while sys.stdin.buffer.read(4096):
            pass
        os._exit(0)

    threading.Thread(target=watch, daemon=True).start()


async def handler(ws, path=None):
    global connections
    connections += 1
    if MODE == "echo":
        async for message in ws:
            print("RECV", len(message), flush=True)
            await ws.send(message)
    elif MODE == "ping":
        waiter = await ws.ping(b"abc")
        await asyncio.wait_for(waiter, 10)
        print("PONG", flush=True)
        await ws.send("pong seen")
        await ws.wait_closed()
    elif MODE == "fragments":
        await ws.send(iter(["Прив", "ет"]))
        await ws.send("after")
        await ws.wait_closed()
    elif MODE == "week":
        async for message in ws:
            print("MSG", message, flush=True)
            request = json.loads(message)
            if request["ACTION"] == "GET_CURRENT_WEEK":
                await ws.send(json.dumps({"ACTION": "RES_GET_CURRENT_WEEK", "STATUS": 0, "ITEM": {
                    "note": "<p>Заметки &amp; план</p>", "template": "<p>Шаблон</p>",
                    "days": {"04.01.2021": "<b>Пн</b>", "05.01.2021": "Вт"}}}))
            elif request["ACTION"] == "SET_DAY":
                day = [k for k in request if k not in ("ACTION", "KEY", "timestamp")][0]
                await ws.send(json.dumps({"ACTION": "UPDATE_DAY", day: "pushed: " + request[day]}))
    elif MODE == "close1001":
        if connections == 1:
            await ws.close(1001, "going away")
            print("CLOSED", ws.close_code, flush=True)
        else:
            async for message in ws:
                print("MSG", message, flush=True)


async def main():
    async with websockets.serve(handler, "127.0.0.1", 0, ping_interval=None) as server:
        port = server.sockets[0].getsockname()[1]
        print("PORT", port, flush=True)
        await asyncio.Future()


exit_when_stdin_closes()
asyncio.run(main())
