// The map page: one track line and one heading marker per vehicle, drawn by
// the window through DrawTrackLine, MoveCar, flyto and clearAllTrackLine.
// The window's host object (through the web channel) gives the saved view
// (mapstateinit), keeps it (mapstatesave), learns whether the shown map type
// takes corrected positions (isOffset) and is told when the page is ready
// (GoogleMapOK). Tile sources come from the host's settings.
'use strict';

var COLOURS = ['#0000ff', '#000000', '#666600', '#ff0000', '#993333', '#99ff99', '#ff00ff', '#00ff00',
               '#9900ff', '#339999', '#9999cc', '#330099', '#0099cc', '#ffcccc', '#336633', '#996699',
               '#9999ff', '#cccc00', '#cc00cc', '#0cc0cc', '#3333cc', '#33ff33', '#ff9900', '#ccccff'];
var HEADINGS = ['north', 'northeast', 'east', 'southeast', 'south', 'southwest', 'west', 'northwest'];
var DEFAULT_VIEW = {lon: 179.296875, lat: -0.703107, zoom: 1};
var STATE_PREFIX = 'rmmapLongCenter=';

var host = null;
var map = null;
var layers = {};        // map type -> layer (hybrid: a group of imagery and labels)
var currentType = 'road';
var roadGcj = false;
var ruleZoom = 1;       // the zoom restored at load, or last set by DrawTrackLine
var colourIndex = 0;
var tracks = {};        // identifier -> {line, colour}
var colourOf = {};      // identifier -> its colour, kept across clears
var markers = {};       // identifier -> {marker, label, heading}
var clears = 0;         // clearAllTrackLine calls so far

// "rmmapLongCenter=LON/LAT/ZOOM[;...]" -> view, or null when it is not a
// sound view.
function parseState(text) {
  if (typeof text !== 'string') return null;
  var start = text.indexOf(STATE_PREFIX);
  if (start < 0) return null;
  var body = text.substring(start + STATE_PREFIX.length).split(';')[0];
  var parts = body.split('/');
  if (parts.length !== 3) return null;
  var numbers = /^[-+]?(\d+(\.\d*)?|\.\d+)([eE][-+]?\d+)?$/;
  for (var i = 0; i < 3; ++i) if (!numbers.test(parts[i].trim())) return null;
  var lon = parseFloat(parts[0]), lat = parseFloat(parts[1]), zoom = parseFloat(parts[2]);
  if (!isFinite(lon) || !isFinite(lat) || !isFinite(zoom)) return null;
  if (lat < -90 || lat > 90 || lon < -540 || lon > 540) return null;
  if (zoom !== Math.floor(zoom) || zoom < 0 || zoom > 19) return null;
  return {lon: lon, lat: lat, zoom: zoom};
}

function composeState() {
  var c = map.getCenter();
  var expires = new Date(Date.now() + 365 * 24 * 3600 * 1000).toUTCString();
  return STATE_PREFIX + c.lng + '/' + c.lat + '/' + map.getZoom() + ';expires=' + expires;
}

function saveState() {
  if (!map || !host) return;
  var text = composeState();
  try { document.cookie = text; } catch (e) { /* no cookies on this scheme */ }
  host.mapstatesave(text);
}

function tileLayer(url, attribution) {
  return L.tileLayer(url, {attribution: attribution, maxZoom: 19});
}

function offsetFor(type) { return type === 'road' && roadGcj ? 1 : 0; }

function trackFor(id) {
  var t = tracks[id];
  if (!t) {
    var colour = colourOf[id];
    if (!colour) {
      colour = COLOURS[colourIndex % COLOURS.length];
      colourIndex++;
      colourOf[id] = colour;
    }
    t = {colour: colour, line: L.polyline([], {color: colour, weight: 3, opacity: 1}).addTo(map)};
    tracks[id] = t;
  }
  return t;
}

// ---- the functions the window calls -------------------------------------

function DrawTrackLine(id, lat, lon) {
  id = String(id);
  if (ruleZoom < 10) {
    ruleZoom = 16;
    map.setView([lat, lon], 16, {animate: false});
  }
  var t = trackFor(id);
  if (!map.hasLayer(t.line)) t.line.addTo(map);
  t.line.addLatLng([lat, lon]);
}

function MoveCar(id, lat, lon, direction) {
  id = String(id);
  var heading = Math.trunc((direction + 22) / 45) & 7;
  var colour = tracks[id] ? tracks[id].colour : COLOURS[0];
  var icon = L.icon({iconUrl: 'images/' + HEADINGS[heading] + '_green.svg', iconSize: [32, 32], iconAnchor: [16, 16],
                     tooltipAnchor: [16, 0]});
  var m = markers[id];
  if (!m) {
    // The identifier is shown as text, never read as markup.
    var label = document.createElement('span');
    label.textContent = id;
    m = {marker: L.marker([lat, lon], {icon: icon, keyboard: false}).addTo(map), label: label, heading: heading};
    m.marker.bindTooltip(label, {permanent: true, direction: 'right', className: 'car-label'});
    markers[id] = m;
  } else {
    m.marker.setLatLng([lat, lon]);
    m.marker.setIcon(icon);
    m.heading = heading;
  }
  var tip = m.marker.getTooltip();
  if (tip && tip.getElement()) tip.getElement().style.borderColor = colour;
  m.colour = colour;
}

function flyto(lat, lon) {
  map.panTo([lat, lon], {animate: false});
}

function clearAllTrackLine(id) {
  for (var key in tracks) {
    if (Object.prototype.hasOwnProperty.call(tracks, key)) map.removeLayer(tracks[key].line);
  }
  tracks = {};
  clears++;
}

// ---- for the window's tests: what the page shows --------------------------

function corvanePageState() {
  var out = {zoom: map.getZoom(), lat: map.getCenter().lat, lon: map.getCenter().lng, type: currentType,
             ruleZoom: ruleZoom, clears: clears, tracks: {}, markers: {}};
  for (var id in tracks) {
    if (!Object.prototype.hasOwnProperty.call(tracks, id)) continue;
    out.tracks[id] = {colour: tracks[id].colour, points: tracks[id].line.getLatLngs().map(function (p) {
      return [p.lat, p.lng];
    })};
  }
  for (var mid in markers) {
    if (!Object.prototype.hasOwnProperty.call(markers, mid)) continue;
    var m = markers[mid];
    var ll = m.marker.getLatLng();
    var tip = m.marker.getTooltip();
    var el = tip && tip.getElement();
    out.markers[mid] = {lat: ll.lat, lon: ll.lng, heading: HEADINGS[m.heading], text: m.label.textContent,
                        html: m.label.innerHTML, childElements: m.label.children.length,
                        border: el ? el.style.borderColor : ''};
  }
  return JSON.stringify(out);
}

// Selects a map type as the layer control does: 'road', 'satellite' or 'hybrid'.
function corvaneSetMapType(type) {
  if (!layers[type] || type === currentType) return;
  map.removeLayer(layers[currentType]);
  map.addLayer(layers[type]);
  map.fire('baselayerchange', {layer: layers[type], name: type});
}

// ---- start ------------------------------------------------------------------

function start(tiles, cookie) {
  roadGcj = Number(tiles.roadGcj) === 1;
  layers.road = tileLayer(tiles.road, tiles.roadAttribution);
  layers.satellite = tileLayer(tiles.satellite, tiles.satelliteAttribution);
  layers.hybrid = L.layerGroup([tileLayer(tiles.satellite, tiles.satelliteAttribution),
                                tileLayer(tiles.hybrid, tiles.hybridAttribution)]);
  var view = null;
  try { view = parseState(document.cookie); } catch (e) { view = null; }
  if (!view) view = parseState(cookie);
  if (!view) view = DEFAULT_VIEW;
  ruleZoom = view.zoom;
  map = L.map('map', {layers: [layers.road], zoomControl: true, worldCopyJump: true})
            .setView([view.lat, view.lon], view.zoom, {animate: false});
  L.control.layers({'Road': layers.road, 'Satellite': layers.satellite, 'Hybrid': layers.hybrid}, null,
                   {position: 'topright'}).addTo(map);
  map.on('baselayerchange', function (e) {
    var type = e.layer === layers.satellite ? 'satellite' : e.layer === layers.hybrid ? 'hybrid' : 'road';
    if (type === currentType) return;
    currentType = type;
    host.isOffset(offsetFor(type));
  });
  // The view is kept on every move: what unload hands over may be lost.
  map.on('moveend', saveState);
  window.addEventListener('beforeunload', saveState);
  // The road map's datum decides whether positions are corrected.
  host.isOffset(offsetFor(currentType));
  host.GoogleMapOK();
}

new QWebChannel(qt.webChannelTransport, function (channel) {
  host = channel.objects.host;
  host.mapstateinit(function (cookie) { start(host.tiles, cookie); });
});
