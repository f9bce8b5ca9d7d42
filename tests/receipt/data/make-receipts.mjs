// Writes the byte streams the receipt tests draw, as a till using this
// encoder would send them.  Remake with: npm install && node make-receipts.mjs
import { writeFileSync } from 'node:fs';
import ImageData from '@canvas/image-data';
import ReceiptPrinterEncoder from '@point-of-sale/receipt-printer-encoder';

// A 96 x 48 picture: a black frame around a black disc.
function picture() {
    const width = 96, height = 48;
    const data = new Uint8ClampedArray(width * height * 4);
    for (let y = 0; y < height; y++) {
        for (let x = 0; x < width; x++) {
            const frame = x < 4 || y < 4 || x >= width - 4 || y >= height - 4;
            const disc = (x - 48) ** 2 + (y - 24) ** 2 < 15 ** 2;
            const v = frame || disc ? 0 : 255;
            data.set([v, v, v, 255], (y * width + x) * 4);
        }
    }
    return new ImageData(data, width, height);
}

function receipt(imageMode) {
    const e = new ReceiptPrinterEncoder({ language: 'esc-pos', columns: 48, imageMode });
    return e.initialize()
        .codepage('cp858')
        .align('center').bold(true).line('CAFE DU COIN').bold(false)
        .line('Rue des Fleurs 12')
        .align('left').newline()
        .line('Café crème 4.50 €')
        .underline(true).line('Croissant 2.10 €').underline(false)
        .invert(true).line('Menu du jour').invert(false)
        .size(2, 2).line('TOTAL 6.60').size(1, 1)
        .font('B').line('Merci et à bientôt').font('A')
        .newline()
        .align('center')
        .barcode('3017620422003', 'ean13', { height: 60, text: true })
        .newline()
        .qrcode('https://example.com/receipt/42', { size: 4 })
        .newline()
        .image(picture(), 96, 48, 'threshold')
        .newline()
        .align('left').line('Fin')
        .pulse()
        .cut()
        .encode();
}

writeFileSync('npm-receipt-raster.bin', receipt('raster'));
writeFileSync('npm-receipt-column.bin', receipt('column'));
