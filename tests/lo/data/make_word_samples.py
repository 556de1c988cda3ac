#!/usr/bin/python3
# Writes the Word samples of the encryption check with LibreOffice's own filters, through a headless soffice with
# a throw-away profile:  /usr/bin/python3 make_word_samples.py [output folder]
# The password of every protected sample is "密码abc".
import os
import subprocess
import sys
import tempfile
import time

import uno
from com.sun.star.beans import NamedValue, PropertyValue
from com.sun.star.connection import NoConnectException

PASSWORD = "密码abc"
TEXT = ["第一段：中文文档的内容。", "第二段，包含 English 与数字 42。"]


def prop(name, value):
    return PropertyValue(Name=name, Value=value)


def encryption(crypto_type):
    pairs = (NamedValue("OOXPassword", PASSWORD), NamedValue("CryptoType", crypto_type))
    return prop("EncryptionData", uno.Any("[]com.sun.star.beans.NamedValue", pairs))


def main():
    out = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__)))
    with tempfile.TemporaryDirectory() as profile:
        pipe = "velmora_samples_%d" % os.getpid()
        command = ["/usr/lib/libreoffice/program/soffice.bin", "--headless", "--norestore", "--nologo",
                   "--nodefault", "--nolockcheck", "-env:UserInstallation=" + uno.systemPathToFileUrl(profile),
                   "--accept=pipe,name=%s;urp;" % pipe]
        office = subprocess.Popen(command)
        try:
            resolver = uno.getComponentContext().ServiceManager.createInstanceWithContext(
                "com.sun.star.bridge.UnoUrlResolver", uno.getComponentContext())
            context = None
            for _ in range(600):
                # A fresh profile makes soffice end with 81 and ask to be started again.
                if office.poll() == 81:
                    office = subprocess.Popen(command)
                try:
                    context = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
                    break
                except NoConnectException:
                    time.sleep(0.1)
            desktop = context.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", context)
            doc = desktop.loadComponentFromURL("private:factory/swriter", "_blank", 0, (prop("Hidden", True),))
            doc.Text.setString("\n".join(TEXT))
            samples = {
                "plain.docx": (prop("FilterName", "MS Word 2007 XML"),),
                "plain.doc": (prop("FilterName", "MS Word 97"),),
                "secret.docx": (prop("FilterName", "MS Word 2007 XML"), encryption("Standard")),
                "secret.doc": (prop("FilterName", "MS Word 97"), prop("Password", PASSWORD)),
                "secret.odt": (prop("FilterName", "writer8"), prop("Password", PASSWORD)),
            }
            for name, args in samples.items():
                doc.storeToURL(uno.systemPathToFileUrl(os.path.join(out, name)), args)
            doc.close(True)
            # A compound file that is no Word document.
            book = desktop.loadComponentFromURL("private:factory/scalc", "_blank", 0, (prop("Hidden", True),))
            book.Sheets.getByIndex(0).getCellByPosition(0, 0).setString(TEXT[0])
            book.storeToURL(uno.systemPathToFileUrl(os.path.join(out, "plain.xls")),
                            (prop("FilterName", "MS Excel 97"),))
            book.close(True)
            desktop.terminate()
        except Exception:
            office.kill()
            raise
        finally:
            office.wait(30)


main()
