#!/usr/bin/python3
"""Prints the tags of a file as mutagen reads them, one "name=value" a line,
under the lower-case names taggers give the fields (title, albumartist,
tracknumber, tracktotal, musicbrainz_trackid, replaygain_track_gain, ...),
and picturetype / picturemime / picturemd5 for each embedded picture.

    tag_view.py FILE mp3|ogg|flac|ape
"""
import base64
import hashlib
import sys

from mutagen.apev2 import APEv2
from mutagen.easyid3 import EasyID3
from mutagen.flac import FLAC, Picture
from mutagen.id3 import ID3
from mutagen.oggopus import OggOpus
from mutagen.oggvorbis import OggVorbis


def put(name, value):
    print(f"{name.lower()}={value}")


def put_number(name, text):
    number, _, total = text.partition("/")
    put(name + "number", number)
    if total:
        put(name + "total", total)


def put_picture(kind, mime, data):
    put("picturetype", kind)
    put("picturemime", mime)
    put("picturemd5", hashlib.md5(data).hexdigest())


def mp3(path):
    id3 = ID3(path)
    put("id3version", "2.%d" % id3.version[1])
    for name, values in EasyID3(path).items():
        for value in values:
            if name in ("tracknumber", "discnumber"):
                put_number(name[:-6], value)
            else:
                put(name, value)
    for frame in id3.getall("TXXX"):
        if frame.desc.startswith("REPLAYGAIN_"):
            put(frame.desc, frame.text[0])
    for frame in id3.getall("COMM"):
        put("comment", frame.text[0])
    for frame in id3.getall("APIC"):
        put_picture(int(frame.type), frame.mime, frame.data)
    with open(path, "rb") as f:
        f.seek(-128, 2)
        v1 = f.read()
    if v1[:3] == b"TAG":
        for name, start, end in (("title", 3, 33), ("artist", 33, 63), ("album", 63, 93),
                                 ("year", 93, 97)):
            put("v1" + name, v1[start:end].rstrip(b"\0 ").decode("latin-1"))
        if v1[125] == 0:
            put("v1track", v1[126])


def vorbis(tags):
    for name, value in tags:
        if name.lower() == "metadata_block_picture":
            picture = Picture(base64.b64decode(value))
            put_picture(picture.type, picture.mime, picture.data)
        else:
            put(name, value)


# APE keys that differ from the Vorbis names of the same fields.
APE_NAMES = {"album artist": "albumartist", "year": "date"}


def ape(path):
    for name, value in APEv2(path).items():
        name = name.lower()
        if name == "cover art (front)":
            file_name, _, data = value.value.partition(b"\0")
            put("picturename", file_name.decode())
            put("picturemd5", hashlib.md5(data).hexdigest())
        elif name in ("track", "disc"):
            put_number(name, str(value))
        else:
            for text in value:
                put(APE_NAMES.get(name, name), text)


path, kind = sys.argv[1], sys.argv[2]
if kind == "mp3":
    mp3(path)
elif kind == "flac":
    flac = FLAC(path)
    vorbis(flac.tags or [])
    for picture in flac.pictures:
        put_picture(picture.type, picture.mime, picture.data)
elif kind == "ogg":
    with open(path, "rb") as f:
        opus = b"OpusHead" in f.read(64)
    vorbis((OggOpus if opus else OggVorbis)(path).tags)
elif kind == "ape":
    ape(path)
