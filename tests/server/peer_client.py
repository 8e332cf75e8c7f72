#!/usr/bin/env python3
"""An independent client (python3-websockets) for the sync service.

Usage: peer_client.py HOST PORT SCENARIO [CA_FILE]
With CA_FILE the scenario runs over TLS (wss://), trusting only that CA and checking the host.
Prints "ok" and exits 0 when the scenario holds; prints what went wrong and exits 1 otherwise.
Every wait is bounded, so a silent service fails the scenario instead of hanging it.
"""
import asyncio
import json
import ssl
import sys

import websockets

WAIT = 3.0
QUIET = 0.3


# The TLS context when the scenario runs over wss://, else None.
TLS = None


def connect(url, **options):
    return websockets.connect(url, ssl=TLS, **options)


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


def get(action, key):
    # The desktop client's irregular spacing.
    return '{"ACTION": "%s","KEY"   : "%s"}' % (action, key)


def set_day(key, day, html, timestamp):
    return json.dumps({"ACTION": "SET_DAY", "KEY": key, day: html, "timestamp": str(timestamp)},
                      separators=(",", ":"))


async def receive(ws, wait=WAIT):
    return json.loads(await asyncio.wait_for(ws.recv(), wait))


async def nothing_arrives(ws):
    try:
        text = await asyncio.wait_for(ws.recv(), QUIET)
    except asyncio.TimeoutError:
        return True
    raise Failure("unexpected message: " + text)


async def joined(url, key):
    ws = await connect(url, max_size=None, open_timeout=WAIT)
    await ws.send(get("GET_CURRENT_WEEK", key))
    await receive(ws)
    return ws


async def handshake(url):
    async with connect(url, open_timeout=WAIT) as ws:
        await ws.send(get("GET_CURRENT_WEEK", "peer-handshake"))
        answer = await receive(ws)
        check(answer["ACTION"] in ("RES_GET_CURRENT_WEEK", "RES_GET_DAYS_RANGE"), "week answer: %r" % answer)
        pong = await ws.ping(b"abc")
        await asyncio.wait_for(pong, WAIT)


async def fanout(url):
    a, b, c = await joined(url, "peer-k1"), await joined(url, "peer-k1"), await joined(url, "peer-k2")
    await a.send(set_day("peer-k1", "05.01.2021", "<p>вторник \"1\"</p>", 1609840000))
    pushed = await receive(b)
    check(list(pushed.items())[:2] == [("ACTION", "UPDATE_DAY"), ("05.01.2021", "<p>вторник \"1\"</p>")],
          "push: %r" % pushed)
    await nothing_arrives(a)
    await nothing_arrives(c)
    for ws in (a, b, c):
        await ws.close()


async def older(url):
    a, b = await joined(url, "peer-older"), await joined(url, "peer-older")
    await a.send(set_day("peer-older", "06.01.2021", "newer", 1609900000))
    await receive(b)
    await b.send(set_day("peer-older", "06.01.2021", "older", 1609800000))
    answer = await receive(b)
    check(answer["ACTION"] == "UPDATE_DAY" and answer.get("06.01.2021") == "newer", "answer: %r" % answer)
    await nothing_arrives(a)
    await b.send('{"ACTION": "GET_DAY","KEY"   : "peer-older","DAY"   : "06.01.2021"}')
    stored = await receive(b)
    check(stored.get("06.01.2021") == "newer", "stored: %r" % stored)
    await a.close()
    await b.close()


async def emptykey(url):
    async with connect(url, open_timeout=WAIT) as ws:
        for request in (get("GET_CURRENT_WEEK", ""), '{"ACTION":"SET_NOTE","note":"x"}',
                        '{"ACTION":"SET_NOTE","KEY":"","note":"x"}'):
            await ws.send(request)
            answer = await receive(ws)
            check(answer.get("STATUS") == 3 and not answer["ACTION"].startswith(("RES_", "UPDATE_")),
                  "answer to %s: %r" % (request, answer))


async def oversized(url):
    async with connect(url, max_size=None, open_timeout=WAIT) as ws:
        await ws.send(set_day("peer-big", "05.01.2021", "x" * 200000, 1))
        try:
            text = await asyncio.wait_for(ws.recv(), WAIT)
            raise Failure("answered instead of closing: " + text[:80])
        except websockets.ConnectionClosed as closed:
            check(closed.rcvd is not None and closed.rcvd.code == 1009, "close: %r" % closed.rcvd)
    async with connect(url, open_timeout=WAIT) as ws:
        await ws.send('{"ACTION": "GET_DAY","KEY"   : "peer-big","DAY"   : "05.01.2021"}')
        answer = await receive(ws)
        check(answer["ACTION"] != "RES_GET_DAY", "the oversized day was stored: %r" % answer)


async def unknownday(url):
    async with connect(url, open_timeout=WAIT) as ws:
        await ws.send('{"ACTION": "GET_DAY","KEY"   : "peer-unknown","DAY"   : "05.01.2021"}')
        answer = await receive(ws)
        check(answer["ACTION"] not in ("RES_GET_DAY", "UPDATE_DAY") and answer.get("STATUS") == 7,
              "answer: %r" % answer)
        check("05.01.2021" not in answer or answer["ACTION"] == "STATUS", "day member: %r" % answer)


async def persist_write(url):
    a, b = await joined(url, "peer-persist"), await joined(url, "peer-persist")
    await a.send(json.dumps({"ACTION": "SET_NOTE", "KEY": "peer-persist", "note": "заметка"}))
    await a.send(set_day("peer-persist", "07.01.2021", "<i>thu</i>", 1609990000))
    # A push means the service has committed the change.
    check((await receive(b))["ACTION"] == "UPDATE_NOTE", "note push")
    check((await receive(b))["ACTION"] == "UPDATE_DAY", "day push")
    await a.close()
    await b.close()


async def persist_read(url):
    async with connect(url, open_timeout=WAIT) as ws:
        await ws.send(get("GET_NOTE", "peer-persist"))
        note = await receive(ws)
        check(note == {"ACTION": "UPDATE_NOTE", "note": "заметка"}, "note: %r" % note)
        await ws.send('{"ACTION": "GET_DAY","KEY"   : "peer-persist","DAY"   : "07.01.2021"}')
        day = await receive(ws)
        check(day["ACTION"] == "RES_GET_DAY" and day.get("07.01.2021") == "<i>thu</i>", "day: %r" % day)


SCENARIOS = {
    "handshake": handshake,
    "fanout": fanout,
    "older": older,
    "emptykey": emptykey,
    "oversized": oversized,
    "unknownday": unknownday,
    "persist-write": persist_write,
    "persist-read": persist_read,
}


def main():
    global TLS
    host, port, scenario = sys.argv[1], sys.argv[2], sys.argv[3]
    url = "ws://%s:%s/" % (host, port)
    if len(sys.argv) > 4:
        TLS = ssl.create_default_context(cafile=sys.argv[4])
        url = "wss://%s:%s/" % (host, port)
    try:
        asyncio.run(asyncio.wait_for(SCENARIOS[scenario](url), 20))
    except (Failure, Exception) as error:  # every failure is reported the same way
        print("%s: %s: %s" % (scenario, type(error).__name__, error))
        return 1
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
