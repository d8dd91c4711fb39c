#!/usr/bin/env python3
"""Builds a plugin server's site for the demo and the end-to-end tests: a catalogue page in
either known layout, the plugin archives it links to, and the hosting provider's redirect page.

Pages are written as cp1252 bytes, as the real server does. As a program:

    catalogue_site.py ROOT --host 127.0.0.2 [--layout 0|1] [--lang en] [--count N]
                           [--xnview] [--redirect-to HOST]

writes ROOT/plugins.php (the page), ROOT/files/*.zip and, with --redirect-to, ROOT/redirect.html
pointing at HOST/plugins.php?lang=LANG.
"""
import argparse
import io
import os
import zipfile

L0_COUNT_START = '<font face="Arial, Helvetica, sans-serif" size="2" color="#FFCC00"><b>'
COUNT_END = ' ( <a href="plugins.php?'
L0_ENTRY_START = '></td><td><font face="Arial, Helvetica, sans-serif" color="#FFFFFF" size="2"><b>'
L0_SEPARATOR = '</font></td></tr><tr><td width="105">'
L0_LAST_END = '</font></td></tr></table><br></b><i>'
L0_DESCRIPTION_START = '<font face="Arial, Helvetica, sans-serif" color="#FFFFFF" size="2">'
L1_COUNT_START = '<br><br><b>'
L1_ENTRY_START = '</td><td><b>'
L1_SEPARATOR = '</td></tr><tr><td width="105"><img src='
L1_LAST_END = '</td></tr></table><br><img src='
XNVIEW_MARKER = '<!-- XnViewDLLs //-->'

# Names in an order that the installer must sort without regard to case.
DEFAULT_PLUGINS = [
    ("Sharpen Pro", "Sharpens edges.<br>Works on 24 bit images.", "Jean Dupont / 1.2 15/08/2008 / 120 KB"),
    ("aged Photo", "Makes a picture look old.", "Anna Schmidt / 0.9 01/02/2008 / 45 KB"),
    ("Importation XnView", "Opens the formats of XnView.", "Pierre Martin / 2.0 10/07/2008 / 12 KB"),
    ("Blur & Glow", "Soft glow <b>effect</b>.", "Kai Weber / 1.0 03/03/2008 / 80 KB"),
    ("Caf\u00e9 Colours", "Warm tones (caf\u00e9 au lait).", "Ren\u00e9e Roux / 1.1 05/05/2008 / 60 KB"),
]


def entry_text(layout, index, name, url, description, info):
    if layout == 0:
        return (f'<img src="img/p{index}.png"' + L0_ENTRY_START + f'<a href="{url}">{name}</a></b><br>'
                + L0_DESCRIPTION_START + description + '<u>Download</u></font><br>'
                + '<i>Author / Version / Size</i><br>' + info)
    return (f'"img/p{index}.png">' + L1_ENTRY_START + f'<a href="{url}">{name}</a></b>' + description
            + '<u>Download</u><br><i>Author / Version / Size</i><br>' + info)


def catalogue_page(entries, layout=0, count_text=None, xnview_url=None, lang="en"):
    """entries: (name, url, description, info) tuples. Returns the page as text; lines are
    broken between entries the way a web server's page usually is."""
    count = count_text if count_text is not None else f"{len(entries)} plugins"
    start = L0_COUNT_START if layout == 0 else L1_COUNT_START
    page = ['<html><head><title>Quorvane plugins</title></head><body><h1>Plugins</h1>',
            start + count + COUNT_END + f'lang={lang}">refresh</a> )</b>' + ('</font>' if layout == 0 else ''),
            '<table><tr><td width="105">' + ('' if layout == 0 else '<img src=')]
    for i, (name, url, description, info) in enumerate(entries):
        # Lines break only where no marker spans the break: the installer joins them without a gap.
        text = entry_text(layout, i, name, url, description, info)
        if i > 0:
            text = (L0_SEPARATOR if layout == 0 else L1_SEPARATOR) + text
        page.append(text)
    page.append((L0_LAST_END + 'Sizes are approximate</i></b>') if layout == 0
                else (L1_LAST_END + '"img/footer.png">'))
    if xnview_url:
        page.append(f'<p>{XNVIEW_MARKER}<br><a href="{xnview_url}">XnView format libraries</a></p>')
    page.append('</body></html>')
    return "\r\n".join(page) + "\r\n"


def redirect_page(target):
    """The hosting provider's redirect page; target is host + path + query, without scheme."""
    return ('<html><head><title>ORT - Ovh Redirect Technology</title>\r\n'
            f'<meta name="url" content="{target}">\r\n'
            f'<meta http-equiv="refresh" content="0; url=http://{target}">\r\n'
            '</head><body>Redirecting...</body></html>\r\n')


def plugin_archive(name):
    """A small real ZIP: a plugin file and a read-me in a sub-folder."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as archive:
        safe = "".join(c for c in name if c.isascii() and c.isalnum()) or "plugin"
        archive.writestr(f"{safe}.8bf", (f"plugin {name}\n" * 200).encode("cp1252", "replace"))
        archive.writestr(f"{safe}/readme.txt", f"Read me for {name}\r\n".encode("cp1252", "replace"))
    return buffer.getvalue()


def archive_name(name):
    return "".join(c for c in name if c.isascii() and c.isalnum()).lower() + ".zip"


def installed_files(names, *extra):
    """The files these plugins' archives leave below a Plugins folder, sorted as tree() lists."""
    safe = ["".join(c for c in n if c.isascii() and c.isalnum()) for n in names]
    return sorted([s + ".8bf" for s in safe] + [os.path.join(s, "readme.txt") for s in safe]
                  + list(extra))


def tree(folder):
    """Every file below `folder`, as sorted relative paths."""
    return sorted(os.path.relpath(os.path.join(d, f), folder)
                  for d, _, files in os.walk(folder) for f in files)


def build_site(root, host, layout=0, lang="en", plugins=None, xnview=False, redirect_to=None,
               page_name="plugins.php", scheme="http"):
    """Writes the site; returns the entries as (name, url, description, info)."""
    plugins = DEFAULT_PLUGINS if plugins is None else plugins
    os.makedirs(os.path.join(root, "files"), exist_ok=True)
    entries = []
    for name, description, info in plugins:
        file_name = archive_name(name)
        with open(os.path.join(root, "files", file_name), "wb") as out:
            out.write(plugin_archive(name))
        entries.append((name, f"{scheme}://{host}/files/{file_name}", description, info))
    xnview_url = None
    if xnview:
        xnview_url = f"http://{host}/files/XnViewDll.zip"
        with open(os.path.join(root, "files", "XnViewDll.zip"), "wb") as out:
            out.write(plugin_archive("XnView DLL"))
    with open(os.path.join(root, page_name), "wb") as out:
        out.write(catalogue_page(entries, layout, xnview_url=xnview_url, lang=lang).encode("cp1252"))
    if redirect_to:
        with open(os.path.join(root, "redirect.html"), "wb") as out:
            out.write(redirect_page(f"{redirect_to}/plugins.php?lang={lang}").encode("cp1252"))
    return entries


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("root")
    parser.add_argument("--host", required=True, help="host written into the plugin links")
    parser.add_argument("--layout", type=int, choices=(0, 1), default=0)
    parser.add_argument("--lang", default="en")
    parser.add_argument("--count", type=int, help="number of generated plugins instead of the default five")
    parser.add_argument("--xnview", action="store_true", help="add the XnView DLL section")
    parser.add_argument("--redirect-to", help="also write redirect.html pointing at this host")
    args = parser.parse_args()
    plugins = None
    if args.count is not None:
        plugins = [(f"Plugin {i:03d}", f"Effect number {i}.", f"Author {i} / 1.{i} / {i} KB")
                   for i in range(args.count)]
    build_site(args.root, args.host, args.layout, args.lang, plugins, args.xnview, args.redirect_to)


if __name__ == "__main__":
    main()
