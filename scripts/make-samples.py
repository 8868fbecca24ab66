#!/usr/bin/env python3
"""Writes the example PDF files of samples/: a few short recipes in which
"salad" occurs several times, one of them protected with an open password
(given in its file name), and one scanned page that has no text layer.

Run from anywhere: python3 scripts/make-samples.py  (needs qpdf for the
protected file). The PDFs are written by hand, so nothing else is needed."""

import os
import subprocess
import sys
import zlib

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "samples")
PASSWORD = "quill"


def pdf_escape(s):
    return s.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)")


def write_pdf(path, pages):
    """pages: list of (content_bytes, resources_dict_text, extra_objects) where
    extra_objects is a list of (name, bytes) XObjects referenced in resources."""
    objects = []  # index+1 = object number

    def add(body):
        objects.append(body)
        return len(objects)

    font = add(b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>")
    pages_num = len(objects) + 1
    objects.append(None)  # placeholder for the page tree
    kids = []
    for content, xobjects in pages:
        xrefs = []
        for name, body in xobjects:
            xrefs.append((name, add(body)))
        stream = zlib.compress(content)
        cnum = add(b"<< /Length %d /Filter /FlateDecode >>\nstream\n" % len(stream) + stream +
                   b"\nendstream")
        xo = b"".join(b"/%s %d 0 R " % (n.encode(), num) for n, num in xrefs)
        res = b"<< /Font << /F1 %d 0 R >> /XObject << %s>> >>" % (font, xo)
        kids.append(add(b"<< /Type /Page /Parent %d 0 R /MediaBox [0 0 612 792] /Resources %s "
                        b"/Contents %d 0 R >>" % (pages_num, res, cnum)))
    objects[pages_num - 1] = (b"<< /Type /Pages /Kids [%s] /Count %d >>" %
                              (b" ".join(b"%d 0 R" % k for k in kids), len(kids)))
    catalog = add(b"<< /Type /Catalog /Pages %d 0 R >>" % pages_num)
    info = add(b"<< /Producer (Quillmark sample maker) >>")

    out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for i, body in enumerate(objects, start=1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % i + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for off in offsets:
        out += b"%010d 00000 n \n" % off
    out += (b"trailer\n<< /Size %d /Root %d 0 R /Info %d 0 R >>\nstartxref\n%d\n%%%%EOF\n" %
            (len(objects) + 1, catalog, info, xref))
    with open(path, "wb") as f:
        f.write(out)


def text_page(title, lines):
    ops = ["BT", "/F1 20 Tf", "72 720 Td", "(%s) Tj" % pdf_escape(title), "/F1 12 Tf", "0 -34 Td",
           "16 TL"]
    for line in lines:
        ops.append("(%s) '" % pdf_escape(line))
    ops.append("ET")
    return ("\n".join(ops)).encode("cp1252"), []


def scanned_page():
    """A grey page image with dark bars where lines of print would be: no text layer."""
    w, h = 510, 300
    rows = []
    for y in range(h):
        row = bytearray(b"\xf4" * w)
        line = y // 24
        if y % 24 < 11 and line < 11:
            x = 10
            word = 0
            while x < w - 20:
                length = 18 + ((line * 7 + word * 13) % 45)
                for xx in range(x, min(x + length, w - 10)):
                    row[xx] = 0x30
                x += length + 9
                word += 1
        rows.append(bytes(row))
    data = zlib.compress(b"".join(rows))
    img = (b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceGray "
           b"/BitsPerComponent 8 /Length %d /Filter /FlateDecode >>\nstream\n" % (w, h, len(data)) +
           data + b"\nendstream")
    content = b"q 510 0 0 300 51 420 cm /Im1 Do Q"
    return content, [("Im1", img)]


RECIPES = {
    "Garden salad.pdf": ("Garden Salad", [
        "A quick green salad for four people.",
        "",
        "Ingredients: one head of lettuce, two tomatoes, half a cucumber,",
        "a handful of radishes, olive oil, lemon juice, salt and pepper.",
        "",
        "Wash and dry the lettuce; tear it into a large salad bowl.",
        "Slice the tomatoes, cucumber and radishes and add them to the bowl.",
        "Whisk oil, lemon juice, salt and pepper; dress the salad just before serving.",
    ]),
    "Potato salad.pdf": ("Potato Salad", [
        "Warm potato salad with chives.",
        "",
        "Boil one kilogram of waxy potatoes in salted water until tender.",
        "Peel and slice them while still warm.",
        "Pour a warm dressing of stock, vinegar, mustard and oil over them.",
        "Leave the Salad to rest for half an hour, then fold in the chives.",
        "This SALAD keeps well for a day in a cool place.",
    ]),
    "Tomato soup.pdf": ("Tomato Soup", [
        "A simple soup for cold evenings.",
        "",
        "Soften an onion and a clove of garlic in butter.",
        "Add a kilogram of ripe tomatoes and a little stock; simmer for twenty minutes.",
        "Blend until smooth and season with salt, pepper and a pinch of sugar.",
        "Serve with bread, or with a small green salad on the side.",
    ]),
}

PROTECTED = ("Fruit salad - password is %s.pdf" % PASSWORD, ("Fruit Salad with Mint", [
    "This recipe is protected: open it with the password given in its file name.",
    "",
    "Cut two oranges, an apple, a pear and a bunch of grapes into a bowl.",
    "Add the juice of a lime and a few torn mint leaves.",
    "Chill the fruit salad for an hour before serving.",
]))

SCANNED = "Scanned recipe card.pdf"


def main():
    os.makedirs(ROOT, exist_ok=True)
    for name in os.listdir(ROOT):
        if name.endswith(".pdf"):
            os.remove(os.path.join(ROOT, name))
    for name, (title, lines) in RECIPES.items():
        write_pdf(os.path.join(ROOT, name), [text_page(title, lines)])
    write_pdf(os.path.join(ROOT, SCANNED), [scanned_page()])

    plain = os.path.join(ROOT, "protected.tmp.pdf")
    name, (title, lines) = PROTECTED
    write_pdf(plain, [text_page(title, lines)])
    target = os.path.join(ROOT, name)
    subprocess.run(["qpdf", "--encrypt", PASSWORD, PASSWORD + "-owner", "256", "--", plain,
                    target], check=True)
    os.remove(plain)
    print("Wrote samples to", os.path.normpath(ROOT))


if __name__ == "__main__":
    sys.exit(main())
